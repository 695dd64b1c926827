// The URL normaliser on the command line, for the differential test: reads
// one URL per line (UTF-8) and writes, per line, "ok<TAB>href<TAB>host" or
// "failure", with the platform's host name mapping (libidn2).
#include <iostream>
#include <string>

#include "exec/url_normalisation.h"

int main() {
    const zobrik::DomainToAscii& idna = zobrik::PlatformDomainToAscii();
    std::string line;
    while (std::getline(std::cin, line)) {
        const auto url = zobrik::ParseUrl(std::string_view(line), idna);
        if (url) {
            std::cout << "ok\t" << zobrik::Href(*url) << '\t' << url->host.value_or("") << '\n';
        } else {
            std::cout << "failure\n";
        }
    }
    return 0;
}
