#include "recordings.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace zobrik_e2e {
namespace fs = std::filesystem;
namespace {

bool IsCallRecord(const fs::directory_entry& entry) {
    const std::string name = entry.path().filename().string();
    const bool known =
        name.rfind("xdg-open.", 0) == 0 || name.rfind("xdg-email.", 0) == 0 || name.rfind("thunderbird.", 0) == 0;
    return known && entry.is_regular_file();
}

std::vector<std::string> SplitAtNul(const Bytes& bytes) {
    std::vector<std::string> arguments;
    std::string current;
    for (uint8_t byte : bytes) {
        if (byte == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(byte));
        }
    }
    // A record always ends with a NUL; a rest shows a damaged record.
    if (!current.empty()) arguments.push_back("<unterminated:" + current + ">");
    return arguments;
}

std::vector<Bytes> AttachmentCopies(const fs::path& record) {
    std::vector<Bytes> copies;
    const fs::path folder = record.string() + ".attach";
    for (int index = 1;; ++index) {
        const fs::path copy = folder / std::to_string(index);
        if (!fs::exists(copy)) break;
        copies.push_back(ReadWholeFile(copy));
    }
    return copies;
}

}  // namespace

Bytes ReadWholeFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + file.string());
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const fs::path& file, const std::string& content) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::vector<RecordedCall> Recordings::TakeNew() {
    std::vector<fs::path> fresh;
    for (const auto& entry : fs::directory_iterator(folder_)) {
        if (!IsCallRecord(entry)) continue;
        if (seen_.insert(entry.path().filename().string()).second) fresh.push_back(entry.path());
    }
    // "<program>.<nanoseconds>.<pid>": the time stamps have the same width
    // for the next few centuries, so the names sort by time within a program.
    std::sort(fresh.begin(), fresh.end(), [](const fs::path& a, const fs::path& b) {
        const std::string sa = a.filename().string(), sb = b.filename().string();
        return sa.substr(sa.find('.')) < sb.substr(sb.find('.'));
    });
    std::vector<RecordedCall> calls;
    for (const fs::path& record : fresh) {
        RecordedCall call;
        const std::string name = record.filename().string();
        call.program = name.substr(0, name.find('.'));
        call.arguments = SplitAtNul(ReadWholeFile(record));
        if (call.program == "xdg-email") call.attachmentCopies = AttachmentCopies(record);
        calls.push_back(std::move(call));
    }
    return calls;
}

std::string Printable(const std::string& bytes, size_t limit) {
    std::string text;
    for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            text.push_back(static_cast<char>(byte));
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", byte);
            text += escaped;
        }
    }
    if (bytes.size() > limit) text += "...(" + std::to_string(bytes.size()) + " bytes)";
    return text;
}

std::string Printable(const Bytes& bytes, size_t limit) {
    return Printable(std::string(bytes.begin(), bytes.end()), limit);
}

std::string Printable(const std::vector<std::string>& arguments) {
    std::string text = "[";
    for (size_t i = 0; i < arguments.size(); ++i) text += (i ? ", \"" : "\"") + Printable(arguments[i], 80) + "\"";
    return text + "]";
}

}  // namespace zobrik_e2e
