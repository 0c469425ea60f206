// Many cases at once on threads.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "egm/shielding.h"

namespace egm {

std::vector<CaseOutcome> computeMany(const std::vector<CaseInputs>& cases, const Options& options,
                                     unsigned threads, const Progress& progress)
{
    const std::size_t total = cases.size();
    std::vector<CaseOutcome> outcomes(total);
    if (threads == 0) {
        threads = std::max(1u, std::thread::hardware_concurrency());
    }
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, std::max<std::size_t>(1, total)));
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> done{0};
    std::mutex finishing;
    std::condition_variable finished;
    const auto work = [&] {
        for (std::size_t k = next++; k < total; k = next++) {
            if (!cases[k].error.empty()) {
                outcomes[k].error = cases[k].error;
            } else {
                try {
                    outcomes[k].result = computeRates(cases[k].inputs, options);
                } catch (const std::exception& e) {
                    outcomes[k].error = e.what();
                }
            }
            if (++done == total) {
                // The reporter returns at once, not at its next report.
                const std::lock_guard<std::mutex> lock(finishing);
                finished.notify_all();
            }
        }
    };
    {
        // Joined on every way out: a thread that fails to start or a
        // progress report that throws hands out no further case, lets the
        // others finish theirs, and passes the exception on.
        std::vector<std::jthread> workers;
        try {
            for (unsigned t = 1; t < threads; ++t) {
                workers.emplace_back(work);
            }
            if (progress) {
                // The calling thread reports while the others work.
                workers.emplace_back(work);
                while (done < total) {
                    progress(done, total);
                    std::unique_lock<std::mutex> lock(finishing);
                    finished.wait_for(lock, std::chrono::milliseconds(100), [&] { return done == total; });
                }
                progress(total, total);
            } else {
                work();
            }
        } catch (...) {
            next = total;
            throw;
        }
    }
    return outcomes;
}

std::vector<CaseOutcome> computeMany(const std::vector<Inputs>& cases, const Options& options,
                                     unsigned threads, const Progress& progress)
{
    std::vector<CaseInputs> rows;
    rows.reserve(cases.size());
    for (const Inputs& in : cases) {
        rows.push_back(CaseInputs{in, {}});
    }
    return computeMany(rows, options, threads, progress);
}

} // namespace egm
