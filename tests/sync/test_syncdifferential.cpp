// SPDX-License-Identifier: GPL-3.0-or-later
// Random histories on three devices, played twice: once syncing by what the triggers noted (the fast
// path), once comparing every row with the last synced state (the whole merge). Both must end with
// the same catalogue on every device, and every device of a history with the same one.
#include <gtest/gtest.h>

#include "syncdevice.h"
#include "tempfolder.h"

#include "sync/foldertransport.h"

#include <chrono>
#include <filesystem>
#include <random>

namespace {

constexpr const char* General = "5EE0962C-217D-411a-BB72-6261B1B4F5BF";

struct World {
    TempFolder dir;
    std::vector<std::unique_ptr<SyncDevice>> devices;

    explicit World(bool whole)
    {
        std::filesystem::create_directory(dir.path("place"));
        for (const char* name : {"a", "b", "c"}) {
            devices.push_back(std::make_unique<SyncDevice>(dir.path(std::string(name) + ".db"), name));
            devices.back()->options.wholeMerge = whole;
        }
    }
    void sync(std::size_t device)
    {
        FolderTransport transport(dir.path("place"));
        devices[device]->sync(transport);
    }
};

// Changes on different devices are made in different milliseconds, as a user makes them; the order of
// the history, not a tie between two clocks, decides.
void nextMillisecond()
{
    const auto start = std::chrono::system_clock::now();
    while (std::chrono::system_clock::now() - start < std::chrono::milliseconds(2)) {
    }
}

// One random change a program could make to the device's catalogue, as SQL.
std::string randomChange(SyncDevice& device, std::mt19937& dice, int& made)
{
    const auto pick = [&](const std::vector<std::string>& from) {
        return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(dice)];
    };
    const std::vector<std::string> items = device.column("select guid from link_table;");
    const std::vector<std::string> categories = device.column("select guid from category_table;");
    const std::vector<std::string> own = device.column("select guid from category_table where system = 0;");
    const std::string name = "'n" + std::to_string(++made) + "'";
    switch (std::uniform_int_distribution<int>(0, 7)(dice)) {
    case 0:
    case 1:
        return "insert into link_table (guid, name, target, category, star, comment, type) values ('r"
               + std::to_string(made) + "', " + name + ", 'https://example.org', '" + pick(categories)
               + "', 0, '', 1);";
    case 2:
        return items.empty() ? "" : "update link_table set name = " + name + " where guid = '" + pick(items) + "';";
    case 3:
        return items.empty()
                   ? ""
                   : "update link_table set category = '" + pick(categories) + "' where guid = '" + pick(items) + "';";
    case 4:
        return items.empty() ? "" : "delete from link_table where guid = '" + pick(items) + "';";
    case 5:
        return "insert into category_table (guid, name, level, parent_guid, system, iconIndex) values ('k"
               + std::to_string(made) + "', " + name + ", 1, '" + pick(categories) + "', 0, 0);";
    case 6:
        return own.empty() ? "" : "update category_table set name = " + name + " where guid = '" + pick(own) + "';";
    default: {
        if (own.empty())
            return "";
        // A category goes with everything below it, as the program deletes it.
        const std::string subtree = "with recursive s(g) as (select '" + pick(own)
                                    + "' union select c.guid from category_table c join s on c.parent_guid = s.g) ";
        return subtree + "delete from link_table where category in (select g from s); " + subtree
               + "delete from category_table where guid in (select g from s);";
    }
    }
}

std::vector<std::string> catalogue(SyncDevice& device)
{
    std::vector<std::string> rows = device.column(
        "select 'c ' || guid || ' ' || name || ' ' || parent_guid || ' ' || level from category_table order by "
        "itemorder;");
    for (const std::string& item :
         device.column("select 'i ' || guid || ' ' || name || ' ' || category from link_table order by itemorder;"))
        rows.push_back(item);
    return rows;
}

}  // namespace

TEST(SyncDifferential, NotedChangesAndTheWholeComparisonGiveTheSameCatalogues)
{
    for (const unsigned seed : {7u, 29u}) {
        World fast(false), whole(true);
        std::mt19937 dice(seed);
        int made = 0;
        fast.devices[0]->addItem("x", "first", General);
        whole.devices[0]->addItem("x", "first", General);
        for (int step = 0; step < 150; ++step) {
            const std::size_t device = std::uniform_int_distribution<std::size_t>(0, 2)(dice);
            if (std::uniform_int_distribution<int>(0, 3)(dice) == 0) {
                fast.sync(device);
                whole.sync(device);
                continue;
            }
            const std::string change = randomChange(*fast.devices[device], dice, made);
            if (change.empty())
                continue;
            nextMillisecond();
            fast.devices[device]->execute(change);
            whole.devices[device]->execute(change);
        }
        for (int round = 0; round < 3; ++round)
            for (std::size_t device = 0; device < 3; ++device) {
                fast.sync(device);
                whole.sync(device);
            }
        for (std::size_t device = 0; device < 3; ++device) {
            EXPECT_EQ(catalogue(*fast.devices[device]), catalogue(*whole.devices[device]))
                << "seed " << seed << ", device " << device;
            std::vector<std::string> mine = catalogue(*fast.devices[device]), first = catalogue(*fast.devices[0]);
            std::sort(mine.begin(), mine.end());
            std::sort(first.begin(), first.end());
            EXPECT_EQ(mine, first) << "seed " << seed << ": device " << device << " and the first converged";
        }
    }
}
