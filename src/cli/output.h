// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

// Standard output could not be written; `error` is the system's reason (EPIPE: the reader went away).
struct OutputFailure : std::runtime_error {
    OutputFailure(const std::string& text, int systemError) : std::runtime_error(text), error(systemError) {}
    int error;
};

// One named value of a printed record: a text or a number.
struct Field {
    std::string key;
    std::variant<std::string, long long> value;
};
using Record = std::vector<Field>;

// What the command line prints on stdout: one record per line, its values tab-separated, or with
// --json one JSON object per line. Texts are printed as their bytes when they are valid UTF-8; any
// other byte is escaped, never altered in the catalogue.
class Output {
public:
    Output(std::FILE* stream, bool json);

    void print(const Record& record);
    // A finished line of free text (help, version); printed as it is in both forms.
    void text(const std::string& line);
    // What a command reports done, as the window says it: the line itself, or {"message": line}.
    void message(const std::string& line);
    bool json() const { return asJson; }

    // Lines are kept back from here on, until release() prints them or the output goes without
    // it: what a command reports must not be printed before it is stored.
    void hold() { holding = true; }
    void release();

private:
    void write(const std::string& line);

    std::FILE* stream;
    bool asJson;
    bool holding = false;
    std::vector<std::string> held;
};

// A text for a tab-separated line: tab, newline, carriage return and other control characters as C
// escapes ("\t", "\n", "\r", "\x01"), bytes that are not UTF-8 as "\xHH". A backslash stays as it
// is, so a printed category path can be given back as CATEGORY; --json is exact.
std::string escapeText(const std::string& text);
// A JSON string literal, quotes included; a byte that is not UTF-8 becomes the lone surrogate
// U+DC80 + byte ("\udcff"), as Python's surrogateescape reads and writes it, so no byte is lost.
std::string jsonString(const std::string& text);
