// Test-side access to the recording MAPI32 stand-in: see mapi_standin_client.h.
#include "mapi_standin_client.h"

#include <charconv>
#include <map>
#include <string_view>

#include "client_standin.h"
#include "mapi_record_format.h"
#include "mapi_standin_exports.h"

namespace zobrik::standin {

namespace {

namespace rec = zobrik::mapirecord;

template <class Function>
Function As(FARPROC proc) {
    // Through a generic function pointer type, which converts a GetProcAddress
    // result without a cast-function-type warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

ULONG ClampMs(std::chrono::milliseconds timeout) {
    const auto ms = timeout.count();
    if (ms < 0) {
        return 0;
    }
    return ms >= static_cast<long long>(INFINITE) ? INFINITE - 1 : static_cast<ULONG>(ms);
}

// The record's fields by key; nullopt when the framing is wrong.
std::optional<std::map<std::string, std::string, std::less<>>> SplitFields(const std::string& record) {
    std::map<std::string, std::string, std::less<>> fields;
    std::string_view rest(record);
    bool first = true;
    bool ended = false;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (ended) {
            return std::nullopt;  // nothing may follow "end"
        }
        if (first) {
            if (line != rec::kFirstLine) {
                return std::nullopt;
            }
            first = false;
            continue;
        }
        if (line == rec::kLastLine) {
            ended = true;
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            return std::nullopt;
        }
        if (!fields.emplace(std::string(line.substr(0, equals)), std::string(line.substr(equals + 1))).second) {
            return std::nullopt;  // duplicate key
        }
    }
    if (!ended) {
        return std::nullopt;
    }
    return fields;
}

class FieldReader {
public:
    explicit FieldReader(const std::map<std::string, std::string, std::less<>>& fields) : fields_(fields) {}

    bool ok() const { return ok_; }
    bool Has(const std::string& key) const { return fields_.count(key) != 0; }

    const std::string& Raw(const std::string& key) {
        static const std::string empty;
        const auto it = fields_.find(key);
        if (it == fields_.end()) {
            ok_ = false;
            return empty;
        }
        return it->second;
    }

    uint64_t Number(const std::string& key) {
        std::string_view value = Raw(key);
        int base = 10;
        if (value.substr(0, 2) == "0x") {
            value.remove_prefix(2);
            base = 16;
        }
        uint64_t out = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), out, base);
        if (error != std::errc() || end != value.data() + value.size() || value.empty()) {
            ok_ = false;
        }
        return out;
    }

    uint32_t Number32(const std::string& key) {
        const uint64_t value = Number(key);
        if (value > 0xFFFFFFFFull) {
            ok_ = false;
        }
        return static_cast<uint32_t>(value);
    }

    bool Present(const std::string& key) {
        const std::string& value = Raw(key);
        if (value == "present") {
            return true;
        }
        if (value != "null") {
            ok_ = false;
        }
        return false;
    }

    bool Flag(const std::string& key) {
        const uint64_t value = Number(key);
        if (value > 1) {
            ok_ = false;
        }
        return value == 1;
    }

    std::optional<std::wstring> Text(const std::string& key) {
        const auto parsed = rec::UnquoteText(Raw(key));
        if (!parsed) {
            ok_ = false;
            return std::nullopt;
        }
        if (!*parsed) {
            return std::nullopt;
        }
        std::wstring out;
        out.reserve((*parsed)->size());
        for (const char16_t unit : **parsed) {
            out.push_back(static_cast<wchar_t>(unit));
        }
        return out;
    }

    RecordedRecipient Recipient(const std::string& prefix) {
        RecordedRecipient recipient;
        recipient.reserved = Number32(prefix + ".ulReserved");
        recipient.recipClass = Number32(prefix + ".recipClass");
        recipient.name = Text(prefix + ".name");
        recipient.address = Text(prefix + ".address");
        recipient.eidSize = Number32(prefix + ".eidSize");
        recipient.hasEntryId = Present(prefix + ".entryID");
        return recipient;
    }

    RecordedFile File(const std::string& prefix) {
        RecordedFile file;
        file.reserved = Number32(prefix + ".ulReserved");
        file.flags = Number32(prefix + ".flFlags");
        file.position = Number32(prefix + ".position");
        file.pathName = Text(prefix + ".pathName");
        file.fileName = Text(prefix + ".fileName");
        file.hasFileType = Present(prefix + ".fileType");
        const std::string& content = Raw(prefix + ".content");
        if (content.rfind("hex:", 0) == 0) {
            auto bytes = rec::FromHex(std::string_view(content).substr(4));
            if (!bytes) {
                ok_ = false;
            } else {
                file.contentRead = true;
                file.content = std::move(*bytes);
                file.contentSize = file.content.size();
            }
        } else if (content.rfind("size:", 0) == 0) {
            const char* begin = content.data() + 5;
            const char* end = content.data() + content.size();
            const auto [stop, error] = std::from_chars(begin, end, file.contentSize);
            if (error != std::errc() || stop != end || begin == end) {
                ok_ = false;
            }
            file.contentRead = true;
        } else if (content.rfind("error:", 0) == 0) {
            uint32_t code = 0;
            const char* begin = content.data() + 6;
            const char* end = content.data() + content.size();
            const auto [stop, error] = std::from_chars(begin, end, code);
            if (error != std::errc() || stop != end || begin == end) {
                ok_ = false;
            }
            file.openError = code;
        } else {
            ok_ = false;
        }
        return file;
    }

private:
    const std::map<std::string, std::string, std::less<>>& fields_;
    bool ok_ = true;
};

}  // namespace

std::optional<RecordedMapiCall> ParseMapiRecord(const std::string& record) {
    const auto fields = SplitFields(record);
    if (!fields) {
        return std::nullopt;
    }
    FieldReader read(*fields);
    RecordedMapiCall call;
    call.index = read.Number32("index");
    call.threadId = read.Number32("threadId");
    call.session = read.Number("lhSession");
    call.uiParam = read.Number("ulUIParam");
    call.flags = read.Number32("flFlags");
    call.reserved = read.Number32("ulReserved");
    call.result = read.Number32("result");
    call.blocking = read.Flag("blocking");
    call.hasMessage = read.Present("message");
    if (call.hasMessage) {
        call.messageReserved = read.Number32("message.ulReserved");
        call.subject = read.Text("message.subject");
        call.noteText = read.Text("message.noteText");
        call.messageType = read.Text("message.messageType");
        call.dateReceived = read.Text("message.dateReceived");
        call.conversationId = read.Text("message.conversationID");
        call.messageFlags = read.Number32("message.flFlags");
        if (read.Present("message.originator")) {
            call.originator = read.Recipient("originator");
        }
        call.recipCount = read.Number32("message.recipCount");
        call.hasRecips = read.Present("message.recips");
        for (size_t i = 0; call.hasRecips && read.Has("recip[" + std::to_string(i) + "].recipClass"); ++i) {
            call.recips.push_back(read.Recipient("recip[" + std::to_string(i) + "]"));
        }
        call.fileCount = read.Number32("message.fileCount");
        call.hasFiles = read.Present("message.files");
        for (size_t i = 0; call.hasFiles && read.Has("file[" + std::to_string(i) + "].pathName"); ++i) {
            call.files.push_back(read.File("file[" + std::to_string(i) + "]"));
        }
    }
    if (!read.ok()) {
        return std::nullopt;
    }
    return call;
}

MapiStandIn MapiStandIn::Find() { return MapiStandIn(GetModuleHandleW(L"MAPI32")); }

MapiStandIn::MapiStandIn() = default;

MapiStandIn::MapiStandIn(HMODULE module) {
    if (module == nullptr) {
        return;
    }
    setResult_ = GetProcAddress(module, "ZobrikMapiStandIn_SetResult");
    setBlocking_ = GetProcAddress(module, "ZobrikMapiStandIn_SetBlocking");
    releaseBlocked_ = GetProcAddress(module, "ZobrikMapiStandIn_ReleaseBlocked");
    reset_ = GetProcAddress(module, "ZobrikMapiStandIn_Reset");
    callCount_ = GetProcAddress(module, "ZobrikMapiStandIn_CallCount");
    waitForCalls_ = GetProcAddress(module, "ZobrikMapiStandIn_WaitForCalls");
    blockedCount_ = GetProcAddress(module, "ZobrikMapiStandIn_BlockedCount");
    waitForBlocked_ = GetProcAddress(module, "ZobrikMapiStandIn_WaitForBlocked");
    getCall_ = GetProcAddress(module, "ZobrikMapiStandIn_GetCall");
    if (setResult_ && setBlocking_ && releaseBlocked_ && reset_ && callCount_ && waitForCalls_ && blockedCount_ &&
        waitForBlocked_ && getCall_) {
        module_ = module;
    }
}

bool MapiStandIn::Valid() const { return module_ != nullptr; }

HMODULE MapiStandIn::Module() const { return module_; }

void MapiStandIn::SetResult(ULONG result) const {
    if (Valid()) {
        As<ZobrikMapiStandIn_SetResultFn>(setResult_)(result);
    }
}

void MapiStandIn::SetBlocking(bool blocking) const {
    if (Valid()) {
        As<ZobrikMapiStandIn_SetBlockingFn>(setBlocking_)(blocking ? TRUE : FALSE);
    }
}

void MapiStandIn::ReleaseBlocked() const {
    if (Valid()) {
        As<ZobrikMapiStandIn_ReleaseBlockedFn>(releaseBlocked_)();
    }
}

void MapiStandIn::Reset() const {
    if (Valid()) {
        As<ZobrikMapiStandIn_ResetFn>(reset_)();
    }
}

ULONG MapiStandIn::CallCount() const { return Valid() ? As<ZobrikMapiStandIn_CallCountFn>(callCount_)() : 0; }

bool MapiStandIn::WaitForCalls(ULONG count, std::chrono::milliseconds timeout) const {
    return Valid() && As<ZobrikMapiStandIn_WaitForCallsFn>(waitForCalls_)(count, ClampMs(timeout)) != FALSE;
}

ULONG MapiStandIn::BlockedCount() const { return Valid() ? As<ZobrikMapiStandIn_BlockedCountFn>(blockedCount_)() : 0; }

bool MapiStandIn::WaitForBlocked(ULONG count, std::chrono::milliseconds timeout) const {
    return Valid() && As<ZobrikMapiStandIn_WaitForBlockedFn>(waitForBlocked_)(count, ClampMs(timeout)) != FALSE;
}

std::optional<std::string> MapiStandIn::RawCall(ULONG index) const {
    if (!Valid()) {
        return std::nullopt;
    }
    const auto getCall = As<ZobrikMapiStandIn_GetCallFn>(getCall_);
    ULONG needed = getCall(index, nullptr, 0);
    // Records do not change once written, so the second call fits.
    while (needed != 0) {
        std::string buffer(needed, '\0');
        const ULONG again = getCall(index, buffer.data(), needed);
        if (again == needed) {
            buffer.resize(needed - 1);
            return buffer;
        }
        needed = again;
    }
    return std::nullopt;
}

std::optional<RecordedMapiCall> MapiStandIn::Call(ULONG index) const {
    const auto raw = RawCall(index);
    if (!raw) {
        return std::nullopt;
    }
    return ParseMapiRecord(*raw);
}

std::vector<RecordedMapiCall> MapiStandIn::Calls() const {
    std::vector<RecordedMapiCall> calls;
    const ULONG count = CallCount();
    for (ULONG i = 0; i < count; ++i) {
        if (auto call = Call(i)) {
            calls.push_back(std::move(*call));
        }
    }
    return calls;
}

std::wstring MapiStandInDir(const std::wstring& name) { return ExecutableDirectory() + name; }

}  // namespace zobrik::standin
