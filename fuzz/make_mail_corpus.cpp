// Writes the seed corpus of the mail decoder fuzzer: a few dozen requests,
// accepted ones of every shape and one for each rejection.
// usage: make_mail_corpus <output-directory>
#include <cstdio>
#include <string>
#include <vector>

#include "zobrik/mail_request_writer.h"

namespace {

using zobrik::sdk::MailRequestWriter;
using Group = zobrik::sdk::RecipientGroup;
using Bytes = std::vector<uint8_t>;

MailRequestWriter::Overrides DataOffset(uint64_t value) {
    MailRequestWriter::Overrides o;
    o.dataOffset = value;
    return o;
}

MailRequestWriter FullMail() {
    MailRequestWriter w;
    w.Subject("Quarterly report").Body("<p>Please find the figures attached.</p>").Flags(5);
    w.AddRecipient(Group::From, "Ann Example", "ann@example.com");
    w.AddRecipient(Group::Sender, "", "assistant@example.com");
    w.AddRecipient(Group::To, "Bob", "bob@example.com");
    w.AddRecipient(Group::To, "Carl \"C\" Doe", "SMTP:carl@example.com");
    w.AddRecipient(Group::Cc, "", "");
    w.AddRecipient(Group::Bcc, "Dora", "dora@example.com");
    w.AddAttachment("report.csv", Bytes{'a', ',', 'b', '\n', '1', ',', '2', '\n'});
    w.AddAttachment("C:\\temp\\empty.txt", {});
    w.AddAttachment("dir/image.bin", Bytes(40, 0xA5));
    return w;
}

std::vector<Bytes> Seeds() {
    std::vector<Bytes> seeds;
    seeds.push_back(MailRequestWriter().Build());                          // 66 bytes
    seeds.push_back(MailRequestWriter().Override(DataOffset(0)).Build());  // no data area
    seeds.push_back(FullMail().Build());
    seeds.push_back(FullMail().Override(DataOffset(0)).Build());   // attachments beyond
    seeds.push_back(FullMail().Override(DataOffset(66)).Build());  // records in data area
    seeds.push_back(MailRequestWriter().Subject("abc").AddAttachment("a", {1, 2}).Override(DataOffset(4)).Build());
    seeds.push_back(MailRequestWriter()
                        .Subject("Gr\xC3\xBC\xC3\x9F"
                                 "e \xF0\x9F\x93\xA7 \xFF\xC3 \xED\xA0\x80 \xE0\x80\xAF")
                        .Body("\xF0\x9F\x98")
                        .AddRecipient(Group::To, "\xC3\xA9t\xC3\xA9", "\xE2\x82\xAC@x")
                        .Build());
    seeds.push_back(MailRequestWriter()
                        .AddRecipient(Group::To, std::string(128, 'n'), "")
                        .Override(DataOffset(66))
                        .Build());  // capacity example
    seeds.push_back(MailRequestWriter()
                        .AddAttachment("a", {1, 2, 3, 4}, {uint64_t(0), uint64_t(4)})
                        .AddAttachment("b", {}, {uint64_t(1), uint64_t(2)})
                        .Padding({'p', 0})
                        .Trailer({'t', 't'})
                        .Build());  // overlapping data
    // One seed for each rejection.
    MailRequestWriter::Overrides o;
    o.version = 1;
    seeds.push_back(MailRequestWriter().Override(o).Build());
    seeds.push_back(MailRequestWriter().Flags(8).Build());
    o = {};
    o.totalSize = 65;
    seeds.push_back(MailRequestWriter().Override(o).Build());
    seeds.push_back(MailRequestWriter().Override(DataOffset(67)).Build());
    o = {};
    o.unterminatedLastString = true;
    seeds.push_back(MailRequestWriter().Body("x").Override(o).Build());
    seeds.push_back(MailRequestWriter().Subject("abcdefg").Override(DataOffset(4)).Build());
    seeds.push_back(
        MailRequestWriter().AddRecipient(Group::To, std::string(130, 'n'), "").Override(DataOffset(66)).Build());
    o = {};
    o.attachmentCount = 2;
    seeds.push_back(FullMail().Override(o).Build());
    seeds.push_back(MailRequestWriter().AddAttachment("a", {1}, {~uint64_t(0), std::nullopt}).Build());
    seeds.push_back(MailRequestWriter().AddAttachment("a", {1}, {std::nullopt, uint64_t(0x80000000)}).Build());
    seeds.push_back(MailRequestWriter().AddAttachment("a", {1}, {std::nullopt, uint64_t(2)}).Build());
    o = {};
    o.recipientCounts[size_t(Group::To)] = 0xFFFFFFFF;
    seeds.push_back(MailRequestWriter().Override(o).Build());
    Bytes shortRequest = MailRequestWriter().Build();
    shortRequest.resize(40);
    seeds.push_back(shortRequest);
    return seeds;
}

// Reassembly seeds: the decoder's requests cut into chunks, each chunk led
// by its length byte, with a reset (0xFF) between requests.
std::vector<Bytes> ChunkedSeeds(const std::vector<Bytes>& requests) {
    std::vector<Bytes> seeds;
    for (size_t chunk : {size_t(1), size_t(7), size_t(16), size_t(200)}) {
        Bytes seed;
        for (size_t r = 0; r < requests.size() && r < 6; ++r) {
            const Bytes& request = requests[r];
            for (size_t pos = 0; pos < request.size(); pos += chunk) {
                size_t n = std::min(chunk, request.size() - pos);
                seed.push_back(uint8_t(n));
                seed.insert(seed.end(), request.begin() + pos, request.begin() + pos + n);
            }
            seed.push_back(0xFF);
        }
        seeds.push_back(seed);
    }
    return seeds;
}

// File-name seeds: UTF-16LE names separated by a 0 unit.
std::vector<Bytes> NameSeeds() {
    const std::vector<std::u16string> lists[] = {
        {u"report.pdf", u"a\\report.pdf", u"b/REPORT.PDF", u"report (2).pdf"},
        {u"CON", u"nul.txt", u"COM1.log", u"LPT\u00b9", u"con .txt"},
        {u"a:b", u"file.txt::$DATA", u"q?<>|*\".txt", u"tab\there"},
        {u".", u"..", u"x.exe.", u"trail. . ", u"", u"dir\\", u".profile"},
        {u"\u00e4rger.txt", u"\u00c4RGER.TXT", u"\U0001F600.png"},
        {u"CONIN$", u"conout$.txt", u"CLOCK$ .log", u"x\u202efdp.exe", u"a\uff0e\uff0f\uff3c\uff1a",
         u"\x7f\u0085\u2066"},
        {std::u16string(250, u'a') + u".pdf", std::u16string(250, u'a') + u".pdf", std::u16string(300, u'b'),
         u"a." + std::u16string(260, u'x')},
    };
    std::vector<std::vector<std::u16string>> all(std::begin(lists), std::end(lists));
    // Long names with surrogate pairs around every place where a name or its
    // numbered variant is cut, with and without an extension to keep; three
    // of them fit the names target's input length.
    for (size_t units = 244; units < 260; ++units) {
        all.push_back({std::u16string(units, u'c') + u"\U0001F600\U0001F600.txt",
                       std::u16string(units, u'd') + u"\U0001F600\U0001F600",
                       u"e." + std::u16string(units - 2, u'x') + u"\U0001F600\U0001F600"});
    }
    std::vector<Bytes> seeds;
    for (const auto& names : all) {
        Bytes seed;
        for (size_t i = 0; i < names.size(); ++i) {
            if (i) {
                seed.push_back(0);
                seed.push_back(0);
            }
            for (char16_t c : names[i]) {
                seed.push_back(uint8_t(c & 0xFF));
                seed.push_back(uint8_t(c >> 8));
            }
        }
        seeds.push_back(seed);
    }
    return seeds;
}

// Exec texts for the policy fuzzer: a choice byte, a pattern, 0xFFFF, a text.
std::vector<Bytes> ExecPolicySeeds() {
    const std::vector<std::pair<std::u16string, std::u16string>> cases = {
        {u"https://intranet.example/*", u"HTTPS://user@Intranet.Example./x"},
        {u"C:\\Docs\\*", u"file:///C:/Docs/../a%20b.pdf"},
        {u"\\\\server\\*", u"\\\\?\\UNC\\server\\share\\setup.exe:s"},
        {u"*a*b*?", u"  \"url:mailto:x@example.com\"  "},
        {u"*", u"N:\\tool\u202Etxt.pyz"},
        {u"https://evil.test/*", u"https:/\\u:p@\uFF45vil\u3002test.:443/a/%2e%2E/b?q#f"},
        {u"http://10.0.0.1/*", u"http://[0:0::ffff:10.0.0.1]:80/x"},
        {u"http://10.0.0.1/*", u"http://0x0a.0.01/"},
        {u"mailto:*@evil.test", u"mailto:a@b,c%40evil.test?cc=d@e&bcc=f@g"},
        {u"foo://*", u"foo://h\u00FCst:1/./p\\q"},
    };
    std::vector<Bytes> seeds;
    uint8_t choice = 0x07;
    for (const auto& [pattern, text] : cases) {
        Bytes seed{choice};
        choice = uint8_t(choice * 5 + 0x13);
        auto add = [&seed](char16_t c) {
            seed.push_back(uint8_t(c & 0xFF));
            seed.push_back(uint8_t(c >> 8));
        };
        for (char16_t c : pattern) add(c);
        add(0xFFFF);
        for (char16_t c : text) add(c);
        seeds.push_back(seed);
    }
    return seeds;
}

// Exec messages and policy files for the Linux add-in's fuzzer: a choice
// byte (0x80 set: a policy file), then the bytes.
std::vector<Bytes> LinuxAddinSeeds() {
    const std::vector<std::pair<uint8_t, std::string>> cases = {
        {0x3F, "\xEF\xBB\xBF/home/\xD0\x96/bin/tool"},
        {0x0B, "file://fuzzhost/link/x%20y.desktop"},
        {0x12, "smb://server/share/caf\xE9"},
        {0x01, "../../run/user/1/zobrik-wtsdvc/zr-1/a"},
        {0x80, "# policy\nExecAllowList = /home/*\nexecchannel=0\nMailMaxRecipients = 12x\n"},
    };
    std::vector<Bytes> seeds;
    for (const auto& [choice, text] : cases) {
        Bytes seed{choice};
        seed.insert(seed.end(), text.begin(), text.end());
        seeds.push_back(seed);
    }
    return seeds;
}

// Exec texts for the staging refusal's fuzzer, in UTF-16.
std::vector<Bytes> StagingRefusalSeeds() {
    const std::u16string texts[] = {
        u"\\\\localhost\\users\\d\\Temp\\Ema1.tmp\\a.exe",
        u"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume3\\d\\Temp\\Ema1.tmp\\x",
        u"\\\\0300.0.02.7\\c$\\d\\Temp\\Ema1.tmp",
        u"file://[fe80::1:2%4]/share/x",
        u"\\\\--ffff-a00-1.ipv6-literal.net\\s\\x",
        u"\\\\?\\unix\\tmp\\..\\x",
        u"\\\\.\\Volume{1}\\x\\...\\y",
        u"\\??\\GLOBALROOT\\??\\UNC\\HOST.local\\s\\x",
    };
    std::vector<Bytes> seeds;
    for (const std::u16string& text : texts) {
        Bytes seed;
        for (char16_t c : text) {
            seed.push_back(uint8_t(c & 0xFF));
            seed.push_back(uint8_t(c >> 8));
        }
        seeds.push_back(seed);
    }
    return seeds;
}

bool WriteSeeds(const std::string& directory, const std::vector<Bytes>& seeds) {
    for (size_t i = 0; i < seeds.size(); ++i) {
        const std::string path = directory + "/seed-" + std::to_string(i);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr || std::fwrite(seeds[i].data(), 1, seeds[i].size(), f) != seeds[i].size()) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            if (f) std::fclose(f);
            return false;
        }
        std::fclose(f);
    }
    std::printf("%zu seeds written to %s\n", seeds.size(), directory.c_str());
    return true;
}

}  // namespace

// usage: make_mail_corpus <output-directory> [decoder|reassembly|names|exec-policy|staging-refusal|linux-addin]
int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(
            stderr, "usage: %s <output-directory> [decoder|reassembly|names|exec-policy|staging-refusal|linux-addin]\n",
            argv[0]);
        return 2;
    }
    const std::string kind = argc == 3 ? argv[2] : "decoder";
    std::vector<Bytes> seeds;
    if (kind == "decoder") {
        seeds = Seeds();
    } else if (kind == "reassembly") {
        seeds = ChunkedSeeds(Seeds());
    } else if (kind == "names") {
        seeds = NameSeeds();
    } else if (kind == "exec-policy") {
        seeds = ExecPolicySeeds();
    } else if (kind == "staging-refusal") {
        seeds = StagingRefusalSeeds();
    } else if (kind == "linux-addin") {
        seeds = LinuxAddinSeeds();
    } else {
        std::fprintf(stderr, "unknown seed kind %s\n", kind.c_str());
        return 2;
    }
    return WriteSeeds(argv[1], seeds) ? 0 : 1;
}
