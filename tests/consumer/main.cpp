// Prints the built-in line's rates by both evaluations: first contact to nine
// digits, compat as hex floats.
#include <cstdio>
#include <egm/shielding.h>

int main()
{
    egm::Inputs line;
    const egm::Result contact = egm::computeRates(line);
    line.evaluation = egm::Evaluation::compat;
    const egm::Result compat = egm::computeRates(line);
    std::printf("%.9g %.9g %.9g\n%a %a %a\n", contact.conductors[0].rate, contact.conductors[1].rate,
                contact.totalRate, compat.conductors[0].rate, compat.conductors[1].rate, compat.totalRate);
    try {
        line.slope = 95.0;
        egm::computeRates(line);
    } catch (const egm::InputError& e) {
        std::printf("%s\n", e.what());
    }
    return 0;
}
