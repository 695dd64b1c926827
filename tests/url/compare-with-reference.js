// Differential test of the exec policy's URL normaliser: generated spellings
// of URLs (schemes, slashes, user names, host forms, ports, paths) are parsed
// by the normaliser (the probe program, with libidn2 mapping host names) and
// by whatwg-url, the URL standard's reference implementation; their
// serialised URLs and host names must agree, or the spelling must fall under
// one of the documented differences below.
// usage: node compare-with-reference.js <probe> <folder with node_modules>
"use strict";
const { spawnSync } = require("child_process");
const path = require("path");

const [probe, referenceFolder] = process.argv.slice(2);
const { URL } = require(path.resolve(referenceFolder, "node_modules", "whatwg-url"));

const schemes = ["http", "HTTPS", "ftp", "wss", "Ws", "foo", "mailto", "smb"];
const afterScheme = ["//", "", "/", "\\\\", "///", "/\\", "\\/", "////"];
const userinfos = ["", "user@", "user:pw@", "a@b@", ":@", "us%40er:p:w@", "ü@"];
const hosts = [
    "example.com", "EXAMPLE.com.", "example.com..", "ex%41mple.com", "Ex%2541mple.com",
    "10.1", "0x0a000001", "167772161", "012.0.0.1", "10.0.0.1.", "0x7f.1", "127.0.0.0x1", "4294967295",
    "4294967296", "256.0.0.1", "1.2.3.4.5", "1.2.3.09", "0x", "0xg.com", "1.2.3.4.example",
    "[::ffff:10.0.0.1]", "[0:0::1]", "[1:0:0:2::3:0]", "[::]", "[1::2::3]", "[::1.2.3]", "[0:0:0:0:0:0:0:0]",
    "[::ffff:1.2.3.4", "[FEDC:BA98:7654:3210:FEDC:BA98:7654:3210]", "[::1.2.3.4.]", "[::01.2.3.4]",
    "[::256.2.3.4]", "[1:2:3:4:5:6:1.2.3.4]", "[1:2:3:4:5:6:7:1.2.3.4]", "[::ffff:0.0.0.0]", "[1:0::0:1]",
    "\uFF45\uFF58\uFF41\uFF4D\uFF50\uFF4C\uFF45.com", "example\u3002com", "exam\u00ADple.com",
    "EXAMPLE\uFF0Ecom", "b\u00FCcher.de", "B\u00DCCHER.de", "xn--bcher-kva.de", "XN--BCHER-KVA.de",
    "fa\u00DF.de", "\u03C2.gr", "%C3%BC.de", "%ef%bc%85.com", "%FF.com", "ex ample.com", "ex<ample", "ex^ample",
    "\u2100.com", "\u2488.com", "a\u200Db.com", "\uFF10\uFF58\uFF10\uFF41\uFF10\uFF10\uFF10\uFF10\uFF10\uFF11",
    "", ".", "..", "exa%00mple.com", "exa%25mple.com", "xn--.com", "xn--zz.com", "-x-.com", "ab--cd.com",
];
const ports = ["", ":", ":443", ":80", ":0443", ":21", ":65535", ":65536", ":8080", ":x", ":-1", "::1"];
const paths = [
    "", "/", "/a/../b", "/%2e%2E/x", "/./a", "\\a\\b", "/a?q=1#f", "/\u00E4", "/{}`|'", "/a/..", "/a/.",
    "?'x'#`y`", "#frag%20", "/a%2fb", "/..//x", "/a b", "/%zz", "/\uD83D\uDE00",
];
const mailtos = [
    "mailto:someone@example.com", "mailto:Some%40Evil.test", "mailto:a@b.example,c@EVIL.test",
    "mailto:?to=x@evil.test&cc=y@b", "mailto:a@b#f", "MAILTO:%61@%62", "mailto:\u00FC@b\u00FCcher.de",
];

// A generator of the same sequence on every run.
let seed = 20261208;
function random(n) {
    seed ^= seed << 13;
    seed ^= seed >>> 17;
    seed ^= seed << 5;
    return (seed >>> 0) % n;
}
function pick(list) { return list[random(list.length)]; }

const spellings = new Set(mailtos);
// Each value of each part with the others at their first value, then random
// combinations.
const parts = [schemes, afterScheme, userinfos, hosts, ports, paths];
parts.forEach((values, which) => {
    for (const value of values) {
        const chosen = parts.map((list) => list[0]);
        chosen[which] = value;
        spellings.add(chosen[0] + ":" + chosen.slice(1).join(""));
    }
});
while (spellings.size < 20000) {
    const chosen = parts.map(pick);
    spellings.add(chosen[0] + ":" + chosen.slice(1).join(""));
}
const inputs = [...spellings];

// Where libidn2 (IDNA2008 with the UTS #46 mapping) and the reference's own
// UTS #46 tables legitimately differ, the normaliser follows the platform:
// these spellings may differ, and only when the normaliser refuses them
// (refusing is what the policy does with a URL it cannot read).
const documentedDifferences = [
    {
        // IDNA2008 disallows symbols that UTS #46 lets through: emoji and
        // other pictographs become a punycode label in a browser, the
        // platform refuses them.
        reason: "symbols that IDNA2008 disallows",
        applies: (input) => /\p{Extended_Pictographic}/u.test(input),
    },
];

const result = spawnSync(probe, [], { input: inputs.join("\n") + "\n", encoding: "utf8", maxBuffer: 1 << 26 });
if (result.status !== 0) {
    console.error("probe failed:", result.stderr);
    process.exit(1);
}
const answers = result.stdout.split("\n");

let compared = 0, excused = 0, read = 0;
const differences = [];
inputs.forEach((input, i) => {
    let expected = "failure";
    try {
        const url = new URL(input);
        expected = "ok\t" + url.href + "\t" + url.hostname;
    } catch (e) {
        if (!(e instanceof TypeError)) throw e;
    }
    // The probe leaves "file:" URLs to the path checks; none is generated.
    const actual = answers[i];
    compared++;
    if (expected !== "failure") read++;
    if (actual === expected) return;
    const excuse = documentedDifferences.find((d) => d.applies(input));
    if (excuse && actual === "failure") {
        excused++;
        return;
    }
    differences.push(`${JSON.stringify(input)}\n    normaliser: ${actual}\n    reference:  ${expected}`);
});

console.log(`${compared} spellings compared (${read} read by the reference), ${excused} documented differences, ${differences.length} other differences`);
for (const d of differences.slice(0, 60)) console.log(d);
process.exit(differences.length === 0 ? 0 : 1);
