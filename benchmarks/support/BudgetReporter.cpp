#include "BudgetReporter.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

benchmark::ConsoleReporter::OutputOptions consoleOptions()
{
    const bool terminal = isatty(fileno(stdout));
    return terminal ? benchmark::ConsoleReporter::OO_ColorTabular
                    : benchmark::ConsoleReporter::OO_Tabular;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

std::string formatted(const BudgetReporter::Budget &budget, double figure)
{
    char text[64];
    if (budget.counter.empty())
        std::snprintf(text, sizeof text, "%.1f ms", figure * 1e3);
    else
        std::snprintf(text, sizeof text, "%.3f", figure);
    return text;
}

} // namespace

BudgetReporter::BudgetReporter(std::vector<Budget> budgets)
    : ConsoleReporter(consoleOptions())
    , m_budgets(std::move(budgets))
{}

void BudgetReporter::ReportRuns(const std::vector<Run> &runs)
{
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
        const bool isMedian = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        if ((run.run_type != Run::RT_Iteration && !isMedian) || run.error_occurred
            || run.iterations == 0)
            continue;
        for (size_t index = 0; index < m_budgets.size(); ++index) {
            const Budget &budget = m_budgets[index];
            if (run.run_name.function_name != budget.function || run.run_name.args != budget.args)
                continue;
            double figure = 0.0;
            if (budget.counter.empty()) {
                figure = run.real_accumulated_time / static_cast<double>(run.iterations);
            } else if (const auto counter = run.counters.find(budget.counter);
                       counter != run.counters.end()) {
                figure = counter->second.value;
            } else {
                continue;
            }
            Figures &figures = m_figures[index];
            (isMedian ? figures.medians : figures.ofIterations).push_back(figure);
        }
    }
}

bool BudgetReporter::reportBudgets(std::ostream &out) const
{
    bool allHeld = true;
    for (const auto &[index, figures] : m_figures) {
        const Budget &budget = m_budgets[index];
        const double figure
            = median(figures.medians.empty() ? figures.ofIterations : figures.medians);
        const bool held = figure <= budget.limit;
        allHeld = allHeld && held;
        out << "budget  " << budget.description << ": " << formatted(budget, figure) << " (at most "
            << formatted(budget, budget.limit) << ") " << (held ? "held" : "MISSED") << '\n';
    }
    return allHeld;
}
