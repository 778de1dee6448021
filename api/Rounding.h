#pragma once

namespace zorvikcpqr {

// Money to two decimals, half away from zero. A hundredth of a step above the half is added so
// that amounts whose binary value lies just below the half (1.005) still go up, as a cashier
// expects.
double roundMoney(double value);

// Quantities to three decimals, half away from zero, without that extra step.
double roundQuantity(double value);

} // namespace zorvikcpqr
