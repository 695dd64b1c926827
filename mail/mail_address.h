// The grammar of the recipient addresses the Linux add-in hands to the mail
// program. xdg-email and the mail programs behind it read an address through
// several layers (a mailto: URL, shell `echo`, Thunderbird's quoted
// "to='…'" fields), each with characters of its own; an address made only of
// the characters real addresses use passes all of them unchanged.
//
// A plain address is local-part@domain, at most 254 bytes, ASCII only:
// - local part: 1-64 characters, atoms of letters, digits, '_', '+' and '-'
//   joined by single dots; it neither begins nor ends with a dot and does
//   not begin with '-';
// - domain: labels of letters, digits and '-' (1-63 characters each, not
//   beginning or ending with '-') joined by single dots, without a final
//   dot. An internationalised domain is written in its ASCII form
//   ("xn--bcher-kva.example" for "bücher.example").
// Not accepted: quoted local parts ("a b"@x), comments, address literals
// (a@[192.0.2.1]), UTF-8 addresses, and the rarely used characters
// ! # $ % & ' * / = ? ^ ` { | } ~ of RFC 5322, which mailto: URLs and
// xdg-email's Thunderbird route read as quotes, separators or fields.
#pragma once

#include <string_view>

namespace zobrik {

bool IsPlainMailAddress(std::string_view address);

}  // namespace zobrik
