// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/output.h"

#include "base/text.h"
#include "cli/cliapp.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace {

std::string hexEscape(const char* prefix, unsigned value, int digits)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%s%0*x", prefix, digits, value);
    return buffer;
}

// The text with its valid sequences of two or more UTF-8 bytes kept as they are and every other
// byte handed to escape(out, byte, valid), valid being false for a byte that is not UTF-8.
template <class Escape>
std::string escaped(const std::string& text, std::string out, Escape escape)
{
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8SequenceLength(text, at);
        if (length > 1) {
            out.append(text, at, length);
            at += length;
            continue;
        }
        escape(out, static_cast<unsigned char>(text[at++]), length == 1);
    }
    return out;
}

}  // namespace

std::string escapeText(const std::string& text)
{
    return escaped(text, {}, [](std::string& out, unsigned char byte, bool valid) {
        if (byte == '\t')
            out += "\\t";
        else if (byte == '\n')
            out += "\\n";
        else if (byte == '\r')
            out += "\\r";
        else if (!valid || byte < 0x20 || byte == 0x7F)
            out += hexEscape("\\x", byte, 2);
        else
            out += static_cast<char>(byte);
    });
}

std::string jsonString(const std::string& text)
{
    return escaped(text, "\"",
                   [](std::string& out, unsigned char byte, bool valid) {
                       if (!valid)
                           out += hexEscape("\\u", 0xDC00u + byte, 4);
                       else if (byte == '"')
                           out += "\\\"";
                       else if (byte == '\\')
                           out += "\\\\";
                       else if (byte == '\n')
                           out += "\\n";
                       else if (byte == '\t')
                           out += "\\t";
                       else if (byte < 0x20 || byte == 0x7F)
                           out += hexEscape("\\u", byte, 4);
                       else
                           out += static_cast<char>(byte);
                   })
           + "\"";
}

Output::Output(std::FILE* out, bool json) : stream(out), asJson(json)
{
}

void Output::print(const Record& record)
{
    std::string line;
    for (const Field& field : record) {
        if (asJson)
            line += (line.empty() ? "{" : ",") + jsonString(field.key) + ":";
        else if (!line.empty())
            line += '\t';
        if (const auto* number = std::get_if<long long>(&field.value))
            line += std::to_string(*number);
        else
            line += asJson ? jsonString(std::get<std::string>(field.value))
                           : escapeText(std::get<std::string>(field.value));
    }
    if (asJson)
        line += line.empty() ? "{}" : "}";
    write(line);
}

void Output::text(const std::string& line)
{
    write(line);
}

void Output::message(const std::string& line)
{
    if (asJson)
        print({{"message", line}});
    else
        write(escapeText(line));
}

void Output::release()
{
    holding = false;
    for (const std::string& line : std::exchange(held, {}))
        write(line);
}

void Output::write(const std::string& line)
{
    if (holding) {
        held.push_back(line);
        return;
    }
    // A reader that went away (a closed pipe) ends the command with the system's reason.
    if (std::fwrite(line.data(), 1, line.size(), stream) != line.size() || std::fputc('\n', stream) == EOF
        || std::fflush(stream) != 0)
        throw OutputFailure(std::string("Cannot write the output: ") + std::strerror(errno), errno);
}
