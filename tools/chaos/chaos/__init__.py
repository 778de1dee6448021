"""A randomized fault campaign: schedules of payments, returns, kills, lost answers and busy
files played against zorvik-sim and zorvik-till, checked against the service's books."""
