// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Documents made by real writers (pandoc, Ghostscript) and hostile files made to measure, for the
// content index's tests and the command line's.

#include <QProcess>
#include <QStringList>

#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace documents {

inline void run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        throw std::runtime_error(program.toStdString() + " failed: " + process.readAllStandardError().toStdString());
}

inline void write(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// A document written by pandoc from Markdown: odt, docx, pptx, epub or html by the file's extension.
inline void pandoc(const std::string& markdown, const std::string& path)
{
    const std::string source = path + ".md";
    write(source, markdown);
    run("pandoc", {QString::fromStdString(source), "--standalone", "--metadata", "title=Document", "-o",
                   QString::fromStdString(path)});
    ::unlink(source.c_str());
}

// A PDF written by Ghostscript with one page per text (Latin-1 text, as PostScript's standard fonts).
inline void pdf(const std::vector<std::string>& pages, const std::string& path)
{
    std::string postscript = "%!PS\n/Helvetica findfont 14 scalefont setfont\n";
    for (const std::string& text : pages)
        postscript += "72 700 moveto (" + text + ") show showpage\n";
    const std::string source = path + ".ps";
    write(source, postscript);
    run("gs", {"-q", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pdfwrite", "-o", QString::fromStdString(path),
               QString::fromStdString(source)});
    ::unlink(source.c_str());
}

// Deflate output of `head` followed by `repeat` times `chunk`: each chunk ends in a full flush, which
// makes every chunk's compressed form the same, so gigabytes cost one chunk's work. raw: without
// zlib's header and checksum (as in zip files).
struct Inflating {
    std::string compressed;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
};

inline std::string deflatePiece(z_stream& stream, const std::string& input, int flush)
{
    std::string out(input.size() + 1024, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
    stream.avail_in = uInt(input.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, flush);
    out.resize(out.size() - stream.avail_out);
    return out;
}

inline Inflating inflatingTo(const std::string& head, const std::string& chunk, int repeat, bool raw)
{
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, raw ? -15 : 15, 9, Z_DEFAULT_STRATEGY);
    Inflating result;
    result.compressed = deflatePiece(stream, head, Z_FULL_FLUSH);
    const std::string piece = deflatePiece(stream, chunk, Z_FULL_FLUSH);
    for (int i = 0; i < repeat; ++i)
        result.compressed += piece;
    std::string end(64, '\0');
    stream.next_in = nullptr;
    stream.avail_in = 0;
    stream.next_out = reinterpret_cast<Bytef*>(end.data());
    stream.avail_out = uInt(end.size());
    deflate(&stream, Z_FINISH);
    deflateEnd(&stream);
    const uLong chunkCrc = crc32(0, reinterpret_cast<const Bytef*>(chunk.data()), uInt(chunk.size()));
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(head.data()), uInt(head.size()));
    uLong adler = adler32(1, reinterpret_cast<const Bytef*>(head.data()), uInt(head.size()));
    const uLong chunkAdler = adler32(1, reinterpret_cast<const Bytef*>(chunk.data()), uInt(chunk.size()));
    for (int i = 0; i < repeat; ++i) {
        crc = crc32_combine(crc, chunkCrc, z_off_t(chunk.size()));
        adler = adler32_combine(adler, chunkAdler, z_off_t(chunk.size()));
    }
    end.resize(end.size() - stream.avail_out);
    if (!raw && end.size() >= 4) {
        // The trailer holds the checksum of what was fed, which is not what the repeats stand for.
        for (int i = 0; i < 4; ++i)
            end[end.size() - 4 + i] = char((adler >> (24 - 8 * i)) & 0xFF);
    }
    result.compressed += end;
    result.size = head.size() + std::uint64_t(chunk.size()) * std::uint64_t(repeat);
    result.crc = std::uint32_t(crc);
    return result;
}

inline std::string little(std::uint64_t value, int bytes)
{
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += char((value >> (8 * i)) & 0xFF);
    return out;
}

// A .docx whose word/document.xml inflates to about a gigabyte of blanks inside one w:t (zip64).
inline void zipBomb(const std::string& path)
{
    const std::string name = "word/document.xml";
    const Inflating part = inflatingTo(
        "<?xml version=\"1.0\"?><w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/"
        "main\"><w:body><w:p><w:r><w:t>bombword",
        std::string(16 << 20, ' '), 64, true);
    const std::string extra = little(1, 2) + little(16, 2) + little(part.size, 8) + little(part.compressed.size(), 8);
    std::string zip = little(0x04034b50, 4) + little(45, 2) + little(0, 2) + little(8, 2) + little(0, 4)
                      + little(part.crc, 4) + little(0xFFFFFFFF, 4) + little(0xFFFFFFFF, 4) + little(name.size(), 2)
                      + little(extra.size(), 2) + name + extra + part.compressed;
    const std::size_t central = zip.size();
    zip += little(0x02014b50, 4) + little(45, 2) + little(45, 2) + little(0, 2) + little(8, 2) + little(0, 4)
           + little(part.crc, 4) + little(0xFFFFFFFF, 4) + little(0xFFFFFFFF, 4) + little(name.size(), 2)
           + little(extra.size(), 2) + little(0, 2) + little(0, 2) + little(0, 2) + little(0, 4) + little(0, 4) + name
           + extra;
    const std::size_t centralSize = zip.size() - central;
    zip += little(0x06054b50, 4) + little(0, 4) + little(1, 2) + little(1, 2) + little(centralSize, 4)
           + little(central, 4) + little(0, 2);
    write(path, zip);
}

// A PDF of one page whose content stream inflates to eight gigabytes.
inline void pdfBomb(const std::string& path)
{
    const Inflating stream = inflatingTo("BT ", std::string(16 << 20, '\0'), 512, false);
    const std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>",
        "<< /Length " + std::to_string(stream.compressed.size()) + " /Filter /FlateDecode >>\nstream\n"
            + stream.compressed + "\nendstream",
    };
    std::string pdf = "%PDF-1.4\n";
    std::string table = "xref\n0 5\n0000000000 65535 f \n";
    for (std::size_t i = 0; i < objects.size(); ++i) {
        char offset[32];
        std::snprintf(offset, sizeof offset, "%010zu 00000 n \n", pdf.size());
        table += offset;
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t start = pdf.size();
    pdf += table + "trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref\n" + std::to_string(start) + "\n%%EOF\n";
    write(path, pdf);
}

// A text file of 2 GB that takes no room: a sentence, a hole, a sentence.
inline void sparseText(const std::string& path)
{
    write(path, "the beginning of a very large text\n");
    if (::truncate(path.c_str(), 2LL << 30) != 0)
        throw std::runtime_error("cannot make a sparse file");
    std::ofstream(path, std::ios::binary | std::ios::in | std::ios::ate) << "the end\n";
}

}  // namespace documents
