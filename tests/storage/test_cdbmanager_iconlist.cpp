// SPDX-License-Identifier: GPL-3.0-or-later
#include "tempdatabase.h"
#include "testpng.h"

#include "storage/iconlistblob.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<unsigned char> everyByte(int repeat)
{
    std::vector<unsigned char> bytes;
    for (int r = 0; r < repeat; ++r)
        for (int i = 0; i < 256; ++i)
            bytes.push_back(static_cast<unsigned char>(i));
    return bytes;
}

}  // namespace

using CDBManagerIconList = CatalogueTest;

TEST_F(CDBManagerIconList, NewCatalogueHasNoStoredList)
{
    EXPECT_TRUE(db.LoadIconList().empty());
}

TEST_F(CDBManagerIconList, SavedBytesComeBackAfterReopeningAndReplaceTheOneRow)
{
    std::vector<unsigned char> first = everyByte(3);
    std::vector<unsigned char> second = everyByte(5);
    second.insert(second.end(), 700, '\'');
    db.SaveIconList(first);
    db.SaveIconList(second);
    EXPECT_EQ(count("select count(*) from imagelist_table"), 1);
    EXPECT_EQ(count("select id from imagelist_table"), 0);

    openCatalogue();
    EXPECT_EQ(db.LoadIconList(), second);
}

TEST_F(CDBManagerIconList, StoredColumnHoldsTheBinaryTextEncoding)
{
    std::vector<unsigned char> bytes = {'I', 'L', 0, 1, '\'', 200};
    db.SaveIconList(bytes);
    CppSQLite3Binary binary;
    binary.SetBinary(bytes.data(), static_cast<int>(bytes.size()));
    CppSQLite3Query query = db.ExecuteQuery("select data from imagelist_table where id=0");
    ASSERT_FALSE(query.Eof());
    EXPECT_STREQ(query.FieldValue("data"), binary.GetEncoded());
}

TEST_F(CDBManagerIconList, EmptyBlobWritesNothing)
{
    db.SaveIconList({9, 9});
    db.SaveIconList({});
    EXPECT_EQ(db.LoadIconList(), (std::vector<unsigned char>{9, 9}));
}

TEST_F(CDBManagerIconList, UndecodableEmptyOrNullRowsReadAsNoList)
{
    for (const char* stored : {"'\x05\x01\x04'", "'\x05\x01'", "'x'", "''", "NULL"}) {
        db.ExecuteStatement((std::string("replace into imagelist_table (id, data) values(0,") + stored + ");").c_str());
        EXPECT_TRUE(db.LoadIconList().empty()) << stored;
    }
}

TEST_F(CDBManagerIconList, MissingTableReadsAsNoListAndSavingIsQuiet)
{
    db.ExecuteStatement("drop table imagelist_table;");
    EXPECT_NO_THROW(db.SaveIconList({1, 2, 3}));
    EXPECT_FALSE(db.TableExists(imagelist_table));
    EXPECT_TRUE(db.LoadIconList().empty());
}

// What another device sends as an icon is stored only when it decodes whole at the list's size: one
// picture that does not makes the whole list unreadable.
TEST(IconPicture, OnlyAWholePngOfTheListsSizeIsAnIconPicture)
{
    const std::string good = squarePng(iconListImageSize, 0x336699ff);
    std::string flipped = good;
    flipped[flipped.size() - 20] ^= 0x40;  // inside the image data: its checksum no longer holds
    const struct {
        const char* what;
        std::string bytes;
        bool picture;
    } cases[] = {
        {"a whole 32 by 32 PNG", good, true},
        {"the signature and junk", std::string("\x89PNG\r\n\x1a\n") + std::string(200, 'x'), false},
        {"cut in the middle", good.substr(0, good.size() / 2), false},
        {"a damaged image data", flipped, false},
        {"another size", squarePng(64, 0x336699ff), false},
        {"nothing", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isIconPicture(c.bytes), c.picture) << c.what;
}
