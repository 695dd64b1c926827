// Fuzz target: naming of staged attachment files. The input is a list of
// UTF-16 file names; every staged name must be a plain, safe file name that
// no other attachment of the request has (compared without letter case).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

#include "mail/staged_file_names.h"

namespace {

using zobrik::WideChar;
using zobrik::WideString;

void Check(bool condition) {
    if (!condition) std::abort();
}

bool IsInvalid(WideChar c) {
    return uint16_t(c) < 0x20 || c == '<' || c == '>' || c == ':' || c == '"' || c == '/' || c == '\\' || c == '|' ||
           c == '?' || c == '*';
}

WideString Upper(const WideString& name) {
    WideString out = name;
    for (auto& c : out) {
        uint16_t u = uint16_t(c);
        if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7)) c = WideChar(u - 32);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Names are separated by the unit 0x0000 in the input's UTF-16 units.
    std::vector<WideString> names(1);
    for (size_t i = 0; i + 1 < size; i += 2) {
        WideChar c = WideChar(data[i] | (data[i + 1] << 8));
        if (c == 0) {
            names.emplace_back();
        } else {
            names.back() += c;
        }
    }
    std::vector<zobrik::MailAttachment> attachments(names.size());
    for (size_t i = 0; i < names.size(); ++i) attachments[i].fileName = names[i].c_str();

    std::vector<WideString> staged = zobrik::StagedFileNames(attachments);
    Check(staged.size() == names.size());
    std::set<WideString> seen;
    for (size_t i = 0; i < staged.size(); ++i) {
        const WideString& name = staged[i];
        Check(name.empty() == zobrik::AttachmentBaseName(names[i]).empty());
        if (name.empty()) continue;
        for (WideChar c : name) Check(!IsInvalid(c));
        Check(name.back() != '.' && name.back() != ' ');
        Check(!zobrik::IsReservedDeviceName(name));
        Check(seen.insert(Upper(name)).second);
    }
    return 0;
}
