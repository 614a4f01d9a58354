// SPDX-License-Identifier: GPL-3.0-or-later
#include "contentcorpus.h"

#include <QByteArray>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

constexpr int vocabularySize = 20000;
constexpr int wordsPerDocument = 3000;
constexpr int pdfPages = 12;
const char* const formats[] = {"pdf", "odt", "docx", "epub", "txt", "odt", "docx", "epub", "md", "pdf"};

std::vector<std::string> vocabulary()
{
    std::mt19937 random(42);
    const char* consonants = "bcdfghklmnprstvz";
    const char* vowels = "aeiou";
    std::vector<std::string> words = {"été",   "résumé",  "façade", "naïve",    "crème",   "über",
                                      "señor", "κείμενα", "текст",  "contract", "invoice", "quarterly"};
    while (int(words.size()) < vocabularySize) {
        std::string word;
        const int syllables = 2 + int(random() % 3);
        for (int i = 0; i < syllables; ++i) {
            word += consonants[random() % 16];
            word += vowels[random() % 5];
        }
        words.push_back(word);
    }
    return words;
}

class Writer {
public:
    Writer() : words(vocabulary())
    {
        std::vector<double> weights;
        for (int rank = 1; rank <= vocabularySize; ++rank)
            weights.push_back(1.0 / rank);
        zipf = std::discrete_distribution<int>(weights.begin(), weights.end());
    }
    // ASCII only for PostScript's standard fonts.
    std::string word(bool asciiOnly)
    {
        for (;;) {
            const std::string& chosen = words[std::size_t(zipf(random))];
            if (!asciiOnly || std::all_of(chosen.begin(), chosen.end(), [](char c) { return c > 0; }))
                return chosen;
        }
    }
    std::vector<std::string> words;

private:
    std::mt19937 random{7};
    std::discrete_distribution<int> zipf;
};

void write(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string marker(int number)
{
    char text[32];
    std::snprintf(text, sizeof text, "marker%04d", number);
    return text;
}

std::string markdown(Writer& writer, int number)
{
    std::string text = "# Document " + std::to_string(number) + "\n\n";
    for (int i = 0; i < wordsPerDocument; ++i) {
        text += (i == wordsPerDocument / 2 ? marker(number) : writer.word(false)) + (i % 120 == 119 ? "\n\n" : " ");
    }
    return text;
}

std::string postscript(Writer& writer, int number)
{
    std::string text = "%!PS\n/Helvetica findfont 11 scalefont setfont\n";
    const int perPage = wordsPerDocument / pdfPages;
    for (int page = 0; page < pdfPages; ++page) {
        for (int line = 0; line < 25; ++line) {
            text += "50 " + std::to_string(760 - line * 28) + " moveto (";
            for (int i = 0; i < perPage / 25; ++i)
                text += (page == pdfPages / 2 && line == 0 && i == 0 ? marker(number) : writer.word(true)) + " ";
            text += ") show\n";
        }
        text += "showpage\n";
    }
    return text;
}

// A picture of noise, which no compression shrinks: what makes office documents weigh what they do.
void writePicture(const fs::path& path)
{
    QImage image(300, 300, QImage::Format_RGB32);
    std::mt19937 random(3);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, random() & 0xFFFFFF);
    image.save(QString::fromStdString(path.string()), "PNG");
}

std::string quoted(const fs::path& path)
{
    return "'" + path.string() + "'";
}

}  // namespace

ContentCorpus contentCorpus(const fs::path& folder, int count)
{
    ContentCorpus corpus;
    corpus.folder = folder / "documents";
    const fs::path sources = folder / "sources";
    fs::create_directories(corpus.folder);
    fs::create_directories(sources);
    const fs::path picture = sources / "picture.png";
    if (!fs::exists(picture))
        writePicture(picture);
    Writer writer;
    std::string commands;
    for (int i = 0; i < count; ++i) {
        const std::string format = formats[i % 10];
        const fs::path document =
            corpus.folder / (std::to_string(i / 100)) / ("document-" + std::to_string(i) + "." + format);
        corpus.documents.push_back(document);
        // The text is drawn for every document, so the words do not depend on what exists already.
        const std::string text = format == "pdf" ? postscript(writer, i) : markdown(writer, i);
        if (fs::exists(document))
            continue;
        fs::create_directories(document.parent_path());
        if (format == "txt" || format == "md") {
            write(document, text);
            continue;
        }
        const fs::path source = sources / ("document-" + std::to_string(i) + (format == "pdf" ? ".ps" : ".md"));
        write(source, format == "pdf" ? text : text + "\n![](" + picture.string() + ")\n");
        commands +=
            format == "pdf"
                ? "gs -q -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -o " + quoted(document) + " " + quoted(source) + "\n"
                : "pandoc --standalone --metadata title=Document -o " + quoted(document) + " " + quoted(source) + "\n";
    }
    if (!commands.empty()) {
        write(sources / "commands", commands);
        // Two writers at a time, the machine's two cores.
        const std::string run = "xargs -P 2 -d '\\n' -n 1 sh -c < " + quoted(sources / "commands");
        if (std::system(run.c_str()) != 0)
            throw std::runtime_error("a writer failed: " + run);
    }
    for (const fs::path& document : corpus.documents)
        corpus.bytes += static_cast<long long>(fs::file_size(document));
    for (int rank = 300; rank < 300 + 50 * 20; rank += 20)
        corpus.queryWords.push_back(writer.words[std::size_t(rank)]);
    return corpus;
}

std::vector<fs::path> changeTextDocuments(const ContentCorpus& corpus, int count, int round)
{
    std::vector<fs::path> changed;
    for (const fs::path& document : corpus.documents) {
        if (int(changed.size()) == count)
            break;
        if (document.extension() != ".txt")
            continue;
        std::ofstream(document, std::ios::app) << "\nchanged in round " << round << " reworded" << round << "\n";
        changed.push_back(document);
    }
    return changed;
}
