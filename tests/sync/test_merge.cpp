// SPDX-License-Identifier: GPL-3.0-or-later
// The merge rules as tables of what two devices know and what the catalogue becomes.
#include "sync/catalogueplan.h"
#include "sync/guidset.h"
#include "sync/keyindex.h"
#include "sync/merge.h"
#include "sync/syncfiles.h"
#include "sync/syncstore.h"
#include "sync/synctransport.h"

#include "syncfilebytes.h"

#include <gtest/gtest.h>

#include <limits>
#include <set>

namespace {

Stamp at(long long clock, const char* device = "A")
{
    return {clock, device};
}

SyncRecord item(const std::string& guid, const std::string& name, const std::string& category, Stamp fields,
                Stamp parent = {}, Stamp deleted = {})
{
    SyncRecord record;
    record.kind = SyncRecord::Item;
    record.guid = guid;
    record.fields = {{"name", name}};
    record.fieldsStamp = fields;
    record.parent = category;
    record.parentStamp = parent.isNull() ? fields : parent;
    record.deleteStamp = deleted;
    record.created = std::min(record.fieldsStamp, record.parentStamp);
    return record;
}

SyncRecord category(const std::string& guid, const std::string& parent, Stamp stamp, Stamp deleted = {})
{
    SyncRecord record = item(guid, guid, parent, stamp, stamp, deleted);
    record.kind = SyncRecord::Category;
    return record;
}

RecordSet setOf(std::initializer_list<SyncRecord> records)
{
    RecordSet set;
    for (const SyncRecord& record : records)
        set.emplace(keyOf(record), record);
    return set;
}

std::vector<std::string> itemNames(const RecordSet& state)
{
    std::vector<std::string> names;
    for (const auto& entry : resolveCatalogue(state).items)
        names.push_back(entry.record->fields.at("name") + "@" + entry.category);
    return names;
}

}  // namespace

TEST(Merge, EachPartOfAnObjectTakesTheNewerSide)
{
    struct Case {
        const char* rule;
        SyncRecord mine, theirs;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"newer rename wins", item("i", "old", "c", at(1)), item("i", "new", "c", at(2)), {"new@c"}},
        {"older rename loses", item("i", "mine", "c", at(5)), item("i", "theirs", "c", at(2)), {"mine@c"}},
        {"equal clocks: the device breaks the tie the same way everywhere",
         item("i", "a", "c", at(3, "A")),
         item("i", "b", "c", at(3, "B")),
         {"b@c"}},
        {"rename here and move there both apply",
         item("i", "renamed", "c", at(5), at(1)),
         item("i", "old", "d", at(1), at(4)),
         {"renamed@d"}},
        {"item changed after its deletion elsewhere survives",
         item("i", "edited", "c", at(9)),
         item("i", "old", "c", at(1), at(1), at(5)),
         {"edited@c"}},
        {"deletion after the last change holds",
         item("i", "edited", "c", at(3)),
         item("i", "old", "c", at(1), at(1), at(5)),
         {}},
    };
    for (const Case& c : cases) {
        for (bool swapped : {false, true}) {
            RecordSet state = setOf({category("c", "", at(1)), category("d", "", at(1)), swapped ? c.theirs : c.mine});
            mergeInto(state, {swapped ? c.mine : c.theirs});
            EXPECT_EQ(itemNames(state), c.expected) << c.rule << (swapped ? " (other side)" : "");
        }
    }
}

TEST(Merge, DeletedCategoryThatReceivedAnItemComesBackHoldingOnlyWhatSurvived)
{
    // A deleted "c" with its old item; B, not knowing, added an item to it.
    RecordSet state = setOf({category("p", "", at(1)), category("c", "p", at(1), at(5)),
                             item("old", "old", "c", at(1), {}, at(5)), item("new", "new", "c", at(3, "B"))});
    const ResolvedCatalogue resolved = resolveCatalogue(state);
    EXPECT_EQ(resolved.revived, std::vector<std::string>{"c"});
    ASSERT_EQ(resolved.categories.size(), 2u);
    EXPECT_EQ(resolved.categories[1].record->guid, "c");
    EXPECT_EQ(resolved.categories[1].parent, "p");
    EXPECT_EQ(resolved.categories[1].level, 1);
    EXPECT_EQ(itemNames(state), std::vector<std::string>{"new@c"});
}

TEST(Merge, ItemsNewHereAreAppendedInTheOrderTheyWereMadeAndUnknownCategoriesFallBack)
{
    RecordSet state = setOf({category(fallbackCategoryGuid, "", {}), category("c", "", at(1)),
                             item("z", "third", "c", at(30, "B")), item("a", "second", "c", at(20, "A")),
                             item("m", "first", "c", at(10, "C")), item("x", "lost", "nowhere", at(40))});
    const std::vector<std::string> expected = {"first@c", "second@c", "third@c",
                                               std::string("lost@") + fallbackCategoryGuid};
    EXPECT_EQ(itemNames(state), expected);
}

TEST(Merge, TwoCrossedMovesBreakTheLoopTheSameWayOnEveryDevice)
{
    // A moved x under y, B moved y under x: the later move gives way to the top level.
    RecordSet state = setOf({category("x", "y", at(5, "A")), category("y", "x", at(6, "B"))});
    const ResolvedCatalogue resolved = resolveCatalogue(state);
    ASSERT_EQ(resolved.categories.size(), 2u);
    EXPECT_EQ(resolved.categories[0].record->guid, "y");
    EXPECT_EQ(resolved.categories[0].parent, "");
    EXPECT_EQ(resolved.categories[1].parent, "y");
    EXPECT_EQ(resolved.categories[1].level, 1);
}

// A resolver that broke a loop at a category outside it, started the walk somewhere that changes the
// answer, lost a revived ancestor or ranked a child before its parent would split devices' catalogues.
TEST(Merge, CategoriesResolveIntoOneTreeWhateverTheirLoopsAndDeletions)
{
    struct Case {
        const char* what;
        RecordSet state;
        std::set<std::string> held;
        // "guid<parent:level", in the order they are made.
        std::vector<std::string> expected;
        std::vector<std::string> revived;
    };
    const std::vector<Case> cases = {
        {"three moves in a circle: the last one gives way",
         setOf({category("x", "y", at(5)), category("y", "z", at(7, "B")), category("z", "x", at(6, "C"))}),
         {},
         {"y<:0", "x<y:1", "z<x:2"},
         {}},
        {"a newer move above a loop is no part of it (walked from the tail first)",
         setOf({category("a", "x", at(9)), category("x", "y", at(5)), category("y", "x", at(6, "B"))}),
         {},
         {"y<:0", "x<y:1", "a<x:2"},
         {}},
        {"the same, walked from the loop first",
         setOf({category("z", "x", at(9)), category("x", "y", at(5)), category("y", "x", at(6, "B"))}),
         {},
         {"y<:0", "x<y:1", "z<x:2"},
         {}},
        {"a category of itself goes to the top",
         setOf({category("s", "s", at(3)), category("t", "s", at(4))}),
         {},
         {"s<:0", "t<s:1"},
         {}},
        {"a held category comes back with its deleted ancestors, not its deleted siblings",
         setOf({category("a", "", at(1)), category("b", "a", at(2), at(8)), category("c", "b", at(3), at(8)),
                category("d", "b", at(4), at(8))}),
         {"c"},
         {"a<:0", "b<a:1", "c<b:2"},
         {"b", "c"}},
        {"a parent no device knows leaves its child at the top; a level keeps the order they were made",
         setOf({category("m", "gone", at(3)), category("k", "", at(2)), category("n", "k", at(1, "B")),
                category("j", "k", at(1, "A"))}),
         {},
         {"k<:0", "m<:0", "j<k:1", "n<k:1"},
         {}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        const ResolvedCatalogue resolved = resolveCategories(test.state, test.held);
        std::vector<std::string> got;
        for (const auto& category : resolved.categories)
            got.push_back(category.record->guid + "<" + category.parent + ":" + std::to_string(category.level));
        EXPECT_EQ(got, test.expected);
        EXPECT_EQ(resolved.revived, test.revived);
    }
}

TEST(Merge, CaptureStampsOnlyWhatChangedSinceTheLastSync)
{
    HybridClock clock("A", 0);
    RecordSet state;
    std::map<RecordKey, std::string> rows;
    const std::vector<DocumentFolder> none;
    StoredItem row{"i", "name", "/t", "c", 0, "", 1};
    captureChanges(state, rows, {localObject(row, none)}, clock, 100);
    const SyncRecord first = state.at({SyncRecord::Item, "i"});
    EXPECT_EQ(first.fieldsStamp, at(100));
    EXPECT_EQ(first.created, at(100));

    // Unchanged: nothing; moved: only the place; renamed by another program: only the content.
    EXPECT_TRUE(captureChanges(state, rows, {localObject(row, none)}, clock, 200).empty());
    row.category = "d";
    captureChanges(state, rows, {localObject(row, none)}, clock, 300);
    EXPECT_EQ(state.at({SyncRecord::Item, "i"}).fieldsStamp, at(100));
    EXPECT_EQ(state.at({SyncRecord::Item, "i"}).parentStamp, at(300));
    row.name = "renamed";
    captureChanges(state, rows, {localObject(row, none)}, clock, 50);
    EXPECT_EQ(state.at({SyncRecord::Item, "i"}).fieldsStamp, at(301)) << "a clock set back never goes back";

    // Gone from the catalogue: a tombstone.
    captureChanges(state, rows, {}, clock, 400);
    EXPECT_TRUE(state.at({SyncRecord::Item, "i"}).deleted());
    EXPECT_TRUE(rows.empty());
}

TEST(Merge, UntouchedBuiltInCategoryNeverOutranksAChangeFromAnotherDevice)
{
    HybridClock clock("B", 0);
    RecordSet state;
    std::map<RecordKey, std::string> rows;
    const StoredCategory builtIn{fallbackCategoryGuid, "General files", 0, "", 1, 0};
    captureChanges(state, rows, {localObject(builtIn, {"#0"})}, clock, 1000);
    SyncRecord renamed = state.at({SyncRecord::Category, fallbackCategoryGuid});
    renamed.fields["name"] = "Files";
    renamed.fieldsStamp = at(10, "A");
    mergeInto(state, {renamed});
    EXPECT_EQ(state.at({SyncRecord::Category, fallbackCategoryGuid}).fields.at("name"), "Files");
}

TEST(Merge, ClockNeverFallsBehindTheNewestStampSeen)
{
    HybridClock clock("B", 0);
    const long long yearAhead = 1000 + 366LL * 86400 * 1000000;
    clock.witness(yearAhead);
    EXPECT_GT(clock.tick(1000), at(yearAhead, "A"));
}

TEST(Merge, IconsMatchByContentAndEveryReferenceLandsOnItsPicture)
{
    std::vector<std::string> builtIns;
    RecordSet state;
    for (int i = 0; i < 3; ++i) {
        builtIns.push_back("b" + std::to_string(i));
        state.emplace(RecordKey{SyncRecord::Icon, builtIns.back()}, iconObject(builtIns.back(), "", i).content);
    }
    for (const char* hash : {"shared", "theirs"})
        state.emplace(RecordKey{SyncRecord::Icon, hash}, iconObject(hash, "", 7).content);

    struct Case {
        const char* rule;
        std::vector<std::string> local;
        std::vector<std::string> seed, append;
        std::map<std::string, int> indices;
    };
    const std::vector<Case> cases = {
        {"an icon both sides added is one icon",
         {"b0", "b1", "b2", "shared"},
         {},
         {"theirs"},
         {{"#1", 1}, {"shared", 3}, {"theirs", 4}}},
        {"a catalogue without a stored list starts from the built-in pictures",
         {},
         builtIns,
         {"shared", "theirs"},
         {{"#1", 1}, {"shared", 3}, {"theirs", 4}}},
    };
    for (const Case& c : cases) {
        const IconPlan plan = planIcons(c.local, {"#1", "shared", "theirs"}, state, 3);
        EXPECT_EQ(plan.seed, c.seed) << c.rule;
        EXPECT_EQ(plan.append, c.append) << c.rule;
        EXPECT_EQ(plan.indexOfRef, c.indices) << c.rule;
    }
}

TEST(Merge, FilesBelowAMappedDocumentFolderLandBelowTheOtherMachinesMapping)
{
    const std::vector<DocumentFolder> here = {{"Documents", "/home/ann/Documents/"}};
    const std::vector<DocumentFolder> there = {{"Documents", "/home/ann/Dokumente"}};
    struct Case {
        StoredItem row;
        std::vector<DocumentFolder> receiver;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {{"i", "n", "/home/ann/Documents/tax/2024.pdf", "c", 0, "", 0}, there, "/home/ann/Dokumente/tax/2024.pdf"},
        {{"i", "n", "/home/ann/Documents/tax/2024.pdf", "c", 0, "", 0}, {}, "/home/ann/Documents/tax/2024.pdf"},
        {{"i", "n", "/home/ann/DocumentsOld/a.pdf", "c", 0, "", 0}, there, "/home/ann/DocumentsOld/a.pdf"},
        {{"i", "n", "/home/ann/Documents/x", "c", 0, "", 1}, there, "/home/ann/Documents/x"},
    };
    for (const Case& c : cases) {
        const SyncRecord record = localObject(c.row, here).content;
        EXPECT_EQ(itemRowOf({&record, "c"}, c.receiver).target, c.expected) << c.row.target;
    }
    // A record written over, as a long run of rows does, keeps nothing of what it held before: not a
    // category's fields, not the mapping of the item before.
    SyncRecord reused = category("old", "p", at(3), at(4));
    reused.fields["icon"] = "7";
    for (int round = 0; round < 2; ++round)
        for (const Case& c : cases) {
            StoredItem row = c.row;
            itemContentInto(row, here, reused);
            const SyncRecord fresh = itemContent(c.row, here);
            EXPECT_EQ(std::tie(reused.kind, reused.guid, reused.parent, reused.fields),
                      std::tie(fresh.kind, fresh.guid, fresh.parent, fresh.fields))
                << c.row.target;
        }
}

TEST(Merge, ReadingPlanNeverSkipsAChangeAndFallsBackToTheSnapshot)
{
    struct Case {
        std::vector<std::string> names;
        long long readUpTo;
        std::vector<std::string> files;
        long long upTo;
    };
    const std::vector<Case> cases = {
        {{"snapshot-00000001.jsonl", "changes-00000002.jsonl", "changes-00000003.jsonl"},
         2,
         {"changes-00000003.jsonl"},
         3},
        {{"snapshot-00000001.jsonl", "changes-00000002.jsonl"}, 2, {}, 2},
        {{"snapshot-00000005.jsonl", "changes-00000006.jsonl"},
         2,
         {"snapshot-00000005.jsonl", "changes-00000006.jsonl"},
         6},
        {{"snapshot-00000001.jsonl", "changes-00000001.jsonl.tmp", ".upload-x"}, 0, {"snapshot-00000001.jsonl"}, 1},
        {{"snapshot-00000002.jsonl"}, 9, {"snapshot-00000002.jsonl"}, 2},
        // a place of the first format being upgraded: the present format's file of a number is read
        {{"snapshot-00000002.jsonl", "snapshot-00000003.vsync", "changes-00000003.jsonl", "changes-00000004.vsync"},
         2,
         {"changes-00000003.jsonl", "changes-00000004.vsync"},
         4},
        {{"snapshot-00000004.vsync", "changes-00000004.vsync", "changes-00000005.vsync"},
         3,
         {"changes-00000004.vsync", "changes-00000005.vsync"},
         5},
    };
    for (const Case& c : cases) {
        const ReadPlan plan = planReading(c.names, c.readUpTo);
        EXPECT_EQ(plan.files, c.files);
        EXPECT_EQ(plan.upTo, c.upTo);
    }
    EXPECT_TRUE(planReading({}, 4).empty);
}

TEST(Merge, SyncFileCutShortOrDamagedIsNoFile)
{
    const SyncRecord record = item("i", "n", "c", at(1), at(1), at(2));
    const SyncFileHeader header{"dev", "laptop", 3, false, 5, {{"other", 7}}, {{"dev", 3}}};
    const QByteArray file = syncFileBytes(header, {record, record});
    const std::string bound = boundName(header);
    EXPECT_EQ(syncFileRecords(file, bound), (std::vector<SyncRecord>{record, record}));

    // A text file of the first format, as devices wrote it before, still reads.
    const QByteArray legacy = "{\"varnelo-sync\":1,\"device\":\"dev\",\"records\":1,\"sequence\":\"3\"}\n"
                              + QByteArray::fromStdString(recordText(record)) + "\n";
    EXPECT_EQ(syncFileRecords(legacy, bound), std::vector<SyncRecord>{record});

    QByteArray flipped = file;
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 1);
    struct Case {
        const char* what;
        QByteArray bytes;
        SyncFileError::Reason reason;
    };
    const std::vector<Case> cases = {
        {"cut short", file.left(file.size() - 5), SyncFileError::CutShort},
        {"a byte changed", flipped, SyncFileError::Damaged},
        {"bytes after its end", file + file, SyncFileError::Damaged},
        {"no sync file", QByteArray("garbage\n"), SyncFileError::NotASyncFile},
        {"first format, a line missing", legacy.left(legacy.indexOf('\n') + 1), SyncFileError::CutShort},
        {"first format, a line cut", legacy.left(legacy.size() - 3), SyncFileError::CutShort},
    };
    for (const Case& c : cases) {
        try {
            syncFileRecords(c.bytes, bound);
            ADD_FAILURE() << c.what << " was read";
        } catch (const SyncFileError& error) {
            EXPECT_EQ(error.reason, c.reason) << c.what << ": " << error.what();
        }
    }
}

// A record line reads back as written whatever its texts hold, a later version's members are passed
// over whatever they hold, and a line that is no record of ours is refused, never half read.
TEST(Merge, RecordLineReadsBackWholeOrIsRefused)
{
    SyncRecord record = item("g1", "say \"hi\"\\ \t\x01 \xC3\xA9\xE2\x82\xAC \xF0\x9F\x98\x80", "c1", at(5), at(6));
    record.fields["comment"] = std::string(5000, 'x') + "\n";
    record.deleteStamp = at(4, "B");
    EXPECT_EQ(recordFromText(recordText(record)), record);
    // Every text of a line is escaped: the GUIDs and the devices of the stamps as much as the fields.
    SyncRecord odd = item("g\"1\\", "n", "c\x01\xC3\xA9", at(5, "dev \"A\"\\\n\xE2\x82\xAC"), at(6, "B\t"));
    odd.deleteStamp = at(7, "\"");
    EXPECT_EQ(recordFromText(recordText(odd)), odd);
    // A byte that starts no UTF-8 sequence travels as U+FFFD.
    SyncRecord broken = item("g2", "bad \xFF end", "c1", at(5));
    EXPECT_EQ(recordFromText(recordText(broken))->fields.at("name"), "bad \xEF\xBF\xBD end");
    // Texts are scanned eight bytes at a time: a byte to escape is met in every place of a word.
    for (const std::string special : {"\"", "\\", "\n", "\x1f", "\xC3\xA9", "\xFF"})
        for (std::size_t place = 0; place <= 17; ++place) {
            std::string text(24, 'a');
            text.replace(place, 1, special);
            const std::string expected = special == "\xFF" ? std::string(text).replace(place, 1, "\xEF\xBF\xBD") : text;
            const auto back = recordFromText(recordText(item("g4", text, "c1", at(5))));
            ASSERT_TRUE(back) << place;
            EXPECT_EQ(back->fields.at("name"), expected) << place;
        }

    const std::string plain = recordText(item("g3", "n", "c1", at(5)));
    const std::string body = plain.substr(1);
    EXPECT_EQ(recordFromText("{\"later\":{\"a\":[1,2.5,null,true,{\"b\":\"c\"}]},\"more\":-3," + body),
              item("g3", "n", "c1", at(5)));
    EXPECT_EQ(recordFromText("{\"f\":{\"name\":\"old\"}," + body), item("g3", "n", "c1", at(5)));

    const std::vector<std::pair<const char*, std::string>> refused = {
        {"empty", ""},
        {"not an object", "[" + plain + "]"},
        {"a known member not a string", "{\"g\":7," + body},
        {"a field not a string", "{\"f\":{\"name\":1}," + body},
        {"a field holding an object", "{\"f\":{\"name\":{\"x\":\"y\"}}," + body},
        {"fields not an object", "{\"f\":\"n\"," + body.substr(body.find("}") + 2)},
        {"no kind", "{\"k\":\"\"," + body.substr(body.find(',') + 1)},
        {"an unknown kind", "{\"k\":\"x\"," + body.substr(body.find(',') + 1)},
        {"no guid", "{\"k\":\"i\",\"g\":\"\"," + body.substr(body.find("\"f\""))},
        {"a stamp without its device", "{\"fs\":\"12\"," + body},
        {"a stamp with a negative clock", "{\"c\":\"-1@A\"," + body},
        {"a text that is no UTF-8", "{\"g\":\"\xC3(\"," + body},
        {"an unknown member that is no JSON", "{\"later\":tru," + body},
        {"more after the object", plain + "{}"},
        {"cut short", plain.substr(0, plain.size() - 1)},
    };
    for (const auto& [what, line] : refused)
        EXPECT_FALSE(recordFromText(line)) << what;
}

namespace {

// A device that takes this many bytes, refuses one write, then takes everything again: only the
// write that failed tells.
class FillingDevice : public QIODevice {
public:
    explicit FillingDevice(qint64 room) : room(room) { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 size) override
    {
        if (size > room) {
            room = std::numeric_limits<qint64>::max();
            return -1;
        }
        room -= size;
        return size;
    }

private:
    qint64 room;
};

}  // namespace

// Files of many records are written and read a batch at a time on threads of their own: no record is
// lost or reordered, a failure on that thread is the writer's failure, and a reader left half way ends.
TEST(Merge, ManyRecordsTravelWholeAndInOrderAndFailuresReachTheCaller)
{
    // More text than the compressor holds back, so that the writing thread writes to the device too.
    std::vector<SyncRecord> records;
    for (int i = 0; i < 40000; ++i)
        records.push_back(item("i" + std::to_string(i), std::string(300, 'a' + i % 26) + std::to_string(i), "c",
                               at(i + 1), at(i + 1), {}));
    const SyncFileHeader header{"dev", "laptop", 1, true, 5, {}, {{"dev", 1}}};
    const QByteArray file = syncFileBytes(header, records);
    EXPECT_EQ(syncFileRecords(file, boundName(header)), records);
    try {
        syncFileRecords(file.left(file.size() * 3 / 4), boundName(header));
        ADD_FAILURE() << "a file cut at three quarters was read";
    } catch (const SyncFileError& error) {
        EXPECT_EQ(error.reason, SyncFileError::CutShort) << error.what();
    }

    for (const qint64 room : {qint64(100), qint64(file.size() / 2), file.size() - 10}) {
        FillingDevice full(room);
        EXPECT_THROW(
            {
                SyncFileWriter writer(full, nullptr, boundName(header), header);
                for (const SyncRecord& record : records)
                    writer.add(record);
                writer.finish();
            },
            SyncError)
            << "room for " << room << " bytes";
    }

    QByteArray bytes = file;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    {
        SyncFileReader reader(buffer, nullptr, boundName(header));
        SyncRecord record;
        ASSERT_TRUE(reader.next(record));
        EXPECT_EQ(record, records.front());
    }
}

// Records are read over the ones read before: a reused record that kept a member its line lacks (a
// deletion, a field, a parent) would change what the merge decides; a digest must be its own record's.
TEST(Merge, RecordsReadOverOneAnotherKeepNothingOfTheOnesBefore)
{
    std::vector<SyncRecord> records;
    for (int i = 0; i < 12000; ++i) {
        const std::string guid = "g" + std::to_string(i);
        switch (i % 4) {
        case 0:
            records.push_back(category(guid, "p", at(i + 1)));
            records.back().fields["icon"] = "#" + std::to_string(i);
            break;
        case 1:
            records.push_back(item(guid, "deleted", "c", at(i + 1), at(i + 2, "B"), at(i + 3, "C")));
            records.back().fields["target"] = "https://example.org/" + guid;
            records.back().fields["comment"] = std::string(i % 50, 'x');
            break;
        case 2:
            // The fields of the record before but its last.
            records.push_back(item(guid, "top", "", at(i + 1)));
            records.back().fields["comment"] = "short";
            break;
        default:
            records.push_back(item(guid, "", "c", at(i + 1)));
            records.back().kind = SyncRecord::Icon;
            records.back().parent.clear();
            records.back().parentStamp = {};
            records.back().fields = {{"png", guid}};
        }
    }
    const SyncFileHeader header{"dev", "laptop", 1, true, 5, {}, {{"dev", 1}}};
    QByteArray bytes = syncFileBytes(header, records);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    SyncFileReader reader(buffer, nullptr, boundName(header));
    SyncRecord record;
    RecordDigest digest;
    for (const SyncRecord& expected : records) {
        ASSERT_TRUE(reader.next(record, &digest));
        ASSERT_EQ(record, expected) << expected.guid;
        if (expected.kind == SyncRecord::Item) {
            EXPECT_EQ(digest.key, objectKey(SyncRecord::Item, expected.guid)) << expected.guid;
            EXPECT_EQ(digest.hash, objectHash(expected)) << expected.guid;
        }
    }
    EXPECT_FALSE(reader.next(record));
}

// Keys are found with their numbers through every growth of the table, whatever their values; a key
// never given is not found.
TEST(KeyIndex, FindsEveryKeyItWasGivenAndNoOther)
{
    KeyIndex index;
    std::vector<long long> keys = {0, -1, 1, std::numeric_limits<long long>::min(),
                                   std::numeric_limits<long long>::max()};
    // Keys alike in their low and high bits, which a poor spread would pile up.
    for (long long i = 1; i <= 5000; ++i)
        keys.push_back(i << 40);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        ASSERT_EQ(index.at(keys[i]), 0u);
        index.at(keys[i]) = i + 1;
    }
    for (std::size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(index.find(keys[i]), i + 1) << keys[i];
    EXPECT_EQ(index.find(3), 0u);
    EXPECT_EQ(index.find((5001LL << 40)), 0u);
    index.clear();
    EXPECT_EQ(index.find(0), 0u);
    EXPECT_EQ(index.find(keys.back()), 0u);
}

// A GUID is found only by its whole text: not by a prefix, a text that differs in its last byte, or
// an empty one, among enough GUIDs that the table grows many times.
TEST(GuidSet, HoldsExactlyTheGuidsItWasGiven)
{
    GuidSet set;
    std::vector<std::string> guids = {"", std::string(1, '\0'), "{5b0c6f0e-1111-4a4a-9c9c-000000000000}"};
    for (int i = 0; i < 20000; ++i)
        guids.push_back("{5b0c6f0e-1111-4a4a-9c9c-" + std::to_string(1000000000000 + 2 * i) + "}");
    for (const std::string& guid : guids)
        set.insert(guid);
    set.insert(guids.back());
    for (const std::string& guid : guids)
        EXPECT_TRUE(set.contains(guid)) << guid;
    for (const char* absent : {"{5b0c6f0e-1111-4a4a-9c9c-1000000000001}", "{5b0c6f0e-1111-4a4a-9c9c-",
                               "{5b0c6f0e-1111-4a4a-9c9c-000000000000}x", "x"})
        EXPECT_FALSE(set.contains(absent)) << absent;
}
