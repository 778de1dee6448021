#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

// Prints the figures as the console reporter does and keeps those that a budget limits. After
// the run it tells, for every budget whose benchmark ran, the figure and whether the budget held.
// With repetitions the figure is their median, so that one burst of a busy machine does not
// decide.
class BudgetReporter : public benchmark::ConsoleReporter
{
public:
    struct Budget
    {
        std::string function; // the benchmark's name, e.g. "BM_SaleCart"
        std::string args;     // its arguments as printed, e.g. "positions:1000"
        std::string counter;  // the limited counter; empty for the wall time of an iteration
        double limit;         // the largest figure that holds (seconds for the wall time)
        std::string description;
    };

    explicit BudgetReporter(std::vector<Budget> budgets);

    void ReportRuns(const std::vector<Run> &runs) override;

    // False when a budget was missed; budgets whose benchmark did not run are left out.
    bool reportBudgets(std::ostream &out) const;

private:
    struct Figures
    {
        std::vector<double> ofIterations;
        std::vector<double> medians; // the aggregates of repetitions
    };

    std::vector<Budget> m_budgets;
    std::map<size_t, Figures> m_figures; // by index into m_budgets
};
