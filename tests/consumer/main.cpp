// Prints the built-in line's rates by both evaluations, as hex floats.
#include <cstdio>
#include <egm/shielding.h>

int main()
{
    egm::Inputs line;
    const egm::Result sound = egm::computeRates(line);
    line.evaluation = egm::Evaluation::compat;
    const egm::Result compat = egm::computeRates(line);
    std::printf("%a %a %a\n%a %a %a\n", sound.rates.conductor1, sound.rates.conductor2, sound.rates.total,
                compat.rates.conductor1, compat.rates.conductor2, compat.rates.total);
    try {
        line.slope = 95.0;
        egm::computeRates(line);
    } catch (const egm::InputError& e) {
        std::printf("%s\n", e.what());
    }
    return 0;
}
