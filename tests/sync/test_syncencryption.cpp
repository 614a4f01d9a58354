// SPDX-License-Identifier: GPL-3.0-or-later
// End-to-end encryption of a place by a passphrase: what the place holds, and what a device without
// the key, with a wrong one, or faced with a changed file gets.
#include <gtest/gtest.h>

#include "syncdevice.h"
#include "tempfolder.h"

#include "sync/foldertransport.h"
#include "sync/syncencryption.h"
#include "sync/syncfiles.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

constexpr const char* General = "5EE0962C-217D-411a-BB72-6261B1B4F5BF";

class EncryptedPlace : public ::testing::Test {
protected:
    TempFolder dir;
    std::string place = dir.path("place");
    SyncDevice a{dir.path("a.db"), "a"}, b{dir.path("b.db"), "b"};

    void SetUp() override { std::filesystem::create_directory(place); }
    SyncReport sync(SyncDevice& device, const std::string& passphrase)
    {
        device.options.passphrase = passphrase;
        FolderTransport transport(place);
        return synchronize(device.path, transport, device.options);
    }
    // Every sync file of the place, and whether it starts as an encrypted one.
    std::vector<std::pair<std::string, bool>> files()
    {
        std::vector<std::pair<std::string, bool>> found;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(place + "/Varnelo"))
            if (parseSyncFileName(entry.path().filename().string())) {
                std::ifstream in(entry.path(), std::ios::binary);
                std::string start(encryptedMagicSize, '\0');
                in.read(start.data(), static_cast<std::streamsize>(start.size()));
                found.emplace_back(entry.path().filename().string(), start == encryptedMagic);
            }
        return found;
    }
    bool placeHolds(const std::string& text)
    {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(place))
            if (entry.is_regular_file()) {
                std::ifstream in(entry.path(), std::ios::binary);
                const std::string bytes{std::istreambuf_iterator<char>(in), {}};
                if (bytes.find(text) != std::string::npos)
                    return true;
            }
        return false;
    }
};

}  // namespace

TEST_F(EncryptedPlace, RoundTripLeavesOnlyCiphertextAndAWrongPassphraseReadsNothing)
{
    a.addItem("i1", "Quarterly salaries", General, "https://intranet.example/salaries");
    const SyncReport first = sync(a, "correct horse");
    ASSERT_TRUE(first.ok) << first.error;
    ASSERT_TRUE(first.encryptionKey);
    EXPECT_FALSE(placeHolds("salaries"));
    EXPECT_FALSE(placeHolds("Quarterly"));
    for (const auto& [name, encrypted] : files())
        EXPECT_TRUE(encrypted) << name;

    const SyncReport none = sync(b, "");
    EXPECT_EQ(none.error, "The files at this place are encrypted: set the sync passphrase (in Sync Settings, or with "
                          "--passphrase-file) to sync.");
    const SyncReport wrong = sync(b, "wrong horse");
    EXPECT_EQ(
        wrong.error,
        "The sync passphrase is not the one this place's files were encrypted with: nothing was read or changed.");
    EXPECT_TRUE(b.items().empty());

    ASSERT_TRUE(sync(b, "correct horse").ok);
    EXPECT_EQ(b.items(), std::vector<std::string>{std::string("Quarterly salaries@") + General});
    // The key kept from a sync serves as well as the passphrase.
    b.options.key = SyncKey::fromBase64(*first.encryptionKey);
    b.execute("update link_table set name='Quarterly wages';");
    ASSERT_TRUE(sync(b, "").ok);
    ASSERT_TRUE(sync(a, "correct horse").ok);
    EXPECT_EQ(a.items(), std::vector<std::string>{std::string("Quarterly wages@") + General});
}

TEST_F(EncryptedPlace, FileChangedByAnyoneWithoutTheKeyIsRefusedAndNothingMerged)
{
    a.addItem("i1", "one", General);
    ASSERT_TRUE(sync(a, "secret words").ok);
    ASSERT_TRUE(sync(b, "secret words").ok);
    a.addItem("i2", "two", General);
    ASSERT_TRUE(sync(a, "secret words").ok);
    const std::string changes = place + "/Varnelo/" + a.device() + "/changes-00000002.vsync";
    std::fstream file(changes, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(40);
    file.put('\x5a');
    file.close();
    const SyncReport refused = sync(b, "secret words");
    EXPECT_EQ(refused.error, "The sync file \"Varnelo/" + a.device()
                                 + "/changes-00000002.vsync\" of \"a\" was changed "
                                   "by someone without the key; nothing was merged.");
    EXPECT_EQ(b.items().size(), 1u);
}

TEST_F(EncryptedPlace, TurnedOnForAPlainPlaceRewritesTheFilesAndNeverTurnsOffSilently)
{
    a.addItem("i1", "plain words", General);
    ASSERT_TRUE(sync(a, "").ok);
    ASSERT_TRUE(sync(b, "").ok);
    b.addItem("i2", "from b", General);
    ASSERT_TRUE(sync(b, "").ok);
    for (const auto& [name, encrypted] : files())
        EXPECT_FALSE(encrypted) << name;

    const SyncReport on = sync(a, "now secret");
    ASSERT_TRUE(on.ok) << on.error;
    EXPECT_EQ(on.warnings,
              std::vector<std::string>{"Sync encryption is on for this place now: every device needs the passphrase "
                                       "to sync."});
    // B has not been told: it neither reads nor writes a plain file any more.
    b.addItem("i3", "still plain", General);
    const auto before = files();
    EXPECT_FALSE(sync(b, "").ok);
    EXPECT_EQ(files(), before);
    ASSERT_TRUE(sync(b, "now secret").ok);
    for (const auto& [name, encrypted] : files())
        EXPECT_TRUE(encrypted) << name;
    ASSERT_TRUE(sync(a, "now secret").ok);
    EXPECT_EQ(a.items().size(), 3u);
}

namespace {

// A place where another device puts its marker just before this one's: as when two devices turn
// encryption on at once.
class RacedPlace : public FolderTransport {
public:
    RacedPlace(const std::string& root, const std::string& theirPassphrase) : FolderTransport(root), theirs(theirPassphrase)
    {
    }
    bool create(const std::string& path, const QByteArray& data) override
    {
        if (path.ends_with(encryptionMarkerName)) {
            const QByteArray salt = newEncryptionSalt();
            FolderTransport::create(path, newEncryptionMarker(salt, newEncryptionKey(theirs, salt)));
        }
        return FolderTransport::create(path, data);
    }

private:
    std::string theirs;
};

}  // namespace

// The marker goes to the place once the key is derived, while the merge went on: a marker another
// device put there meanwhile must win, or this device would write files no other device can open.
TEST_F(EncryptedPlace, MarkerPutThereMeanwhileWinsOverTheOneBeingMade)
{
    // A first device, whose snapshot was written with its own key: it stops, and sends nothing.
    a.addItem("i1", "words", General);
    a.options.passphrase = "mine";
    RacedPlace raced(place, "theirs");
    const SyncReport stopped = synchronize(a.path, raced, a.options);
    EXPECT_EQ(stopped.error, "Another device turned sync encryption on for this place meanwhile: sync again to use "
                             "its passphrase. Nothing was sent.");
    EXPECT_TRUE(files().empty());
    ASSERT_TRUE(sync(a, "theirs").ok);

    // A device with files to read first takes the place's marker, made with the same passphrase: what
    // it sends, the others open.
    std::filesystem::remove_all(place + "/Varnelo");
    b.addItem("i2", "from b", General);
    ASSERT_TRUE(sync(b, "").ok);
    SyncDevice c{dir.path("c.db"), "c"};
    c.options.passphrase = "same words";
    RacedPlace same(place, "same words");
    const SyncReport joined = synchronize(c.path, same, c.options);
    ASSERT_TRUE(joined.ok) << joined.error;
    EXPECT_TRUE(joined.warnings.empty());
    c.addItem("i3", "from c", General);
    ASSERT_TRUE(sync(c, "same words").ok);
    const SyncReport read = sync(b, "same words");
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(b.items().size(), 2u);
    EXPECT_EQ(b.items(), c.items());
}
