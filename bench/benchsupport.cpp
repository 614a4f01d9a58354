// SPDX-License-Identifier: GPL-3.0-or-later
#include "benchsupport.h"

#include "storage/cdbmanager.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<SummaryRow>& summary()
{
    static std::vector<SummaryRow> rows;
    return rows;
}

fs::path environmentPath(const char* name)
{
    const char* value = std::getenv(name);
    if (!value || !*value)
        throw std::runtime_error(std::string(name) + " is not set; call useHome first");
    return value;
}

std::string fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace

RunFolder::RunFolder()
{
    std::string pattern = (fs::temp_directory_path() / "varnelo-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::system_error(errno, std::generic_category(), "cannot make a temporary folder");
    root = pattern;
}

RunFolder::~RunFolder()
{
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

void useHome(const fs::path& root)
{
    const std::pair<const char*, const char*> folders[] = {{"HOME", "home"},
                                                           {"XDG_DATA_HOME", "home/.local/share"},
                                                           {"XDG_CONFIG_HOME", "home/.config"},
                                                           {"XDG_CACHE_HOME", "home/.cache"}};
    for (const auto& [name, relative] : folders) {
        fs::create_directories(root / relative);
        ::setenv(name, (root / relative).c_str(), 1);
    }
    // Qt warns on every start without one.
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        fs::create_directories(root / "runtime");
        ::chmod((root / "runtime").c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", (root / "runtime").c_str(), 1);
    }
}

fs::path homeFolder()
{
    return environmentPath("HOME");
}

fs::path catalogueLocation()
{
    return environmentPath("XDG_DATA_HOME") / "Varnelo" / "FavoritesDB.db";
}

void copySynced(const fs::path& from, const fs::path& to)
{
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    const int fd = ::open(to.c_str(), O_WRONLY);
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), "open " + to.string());
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    if (!synced)
        throw std::system_error(error, std::generic_category(), "fsync " + to.string());
}

void installCatalogue(const fs::path& source)
{
    removeCatalogue();
    fs::create_directories(catalogueLocation().parent_path());
    copySynced(source, catalogueLocation());
}

void removeCatalogue()
{
    const fs::path location = catalogueLocation();
    fs::remove(location);
    fs::remove(location.string() + "-journal");
    // The staging file of a restore.
    fs::remove(location.parent_path() / "FavoritesDBbak");
}

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

long long heapInUse()
{
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<long long>(info.uordblks + info.hblkhd);
}

double megabytes(long long bytes)
{
    return static_cast<double>(bytes) / 1e6;
}

int environmentInt(const char* name, int fallback)
{
    const char* value = std::getenv(name);
    if (!value || !*value)
        return fallback;
    char* end = nullptr;
    const long number = std::strtol(value, &end, 10);
    return *end == '\0' && number > 0 && number < 1000000000 ? static_cast<int>(number) : fallback;
}

void addSummaryRow(SummaryRow row)
{
    summary().push_back(std::move(row));
}

void printSummary(std::ostream& out)
{
    if (summary().empty())
        return;
    out << "\n| operation | measured | floor | ratio | target | note |\n|---|---|---|---|---|---|\n";
    for (const SummaryRow& row : summary()) {
        if (row.unit.empty()) {
            out << "| " << row.operation << " | - | - | - | - | " << row.note << " |\n";
            continue;
        }
        const int decimals = row.unit == "MB" ? 1 : (row.measured < 10 ? 2 : 0);
        out << "| " << row.operation << " | " << fixed(row.measured, decimals) << ' ' << row.unit << " | "
            << fixed(row.floor, row.floor < 10 ? 2 : 0) << ' ' << row.unit << " | "
            << (row.floor > 0 ? fixed(row.measured / row.floor, row.measured / row.floor < 10 ? 2 : 0) : "-") << " | "
            << row.target << " | " << row.note << " |\n";
    }
    out.flush();
}

void writeCatalogue(const fs::path& file, const std::vector<std::pair<int, std::string>>& items)
{
    {
        CDBManager db;
        db.Open(file.string());
        db.EnsureDefaultCategories();
    }
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db, "begin transaction;", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "insert into link_table (guid, name, target, category, star, comment, type)"
                       " values (?1, ?1, ?2, '5EE0962C-217D-411a-BB72-6261B1B4F5BF', 0, '', ?3);",
                       -1, &insert, nullptr);
    int number = 0;
    for (const auto& [type, target] : items) {
        char guid[40];
        std::snprintf(guid, sizeof guid, "00000000-0000-4000-8000-%012d", ++number);
        sqlite3_bind_text(insert, 1, guid, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, target.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 3, type);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "commit transaction;", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

extern "C" char** environ;

CliRun runCli(const std::vector<std::string>& args)
{
    std::vector<char*> argv{const_cast<char*>(VARNELO_CLI)};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    CliRun run;
    if (posix_spawn(&pid, VARNELO_CLI, &quiet, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        struct rusage usage {};
        if (wait4(pid, &status, 0, &usage) == pid) {
            run.ms = millisecondsSince(start);
            run.peakMb = static_cast<double>(usage.ru_maxrss) * 1024 / 1e6;
            for (const timeval& spent : {usage.ru_utime, usage.ru_stime})
                run.cpuMs += double(spent.tv_sec) * 1000 + double(spent.tv_usec) / 1000;
            run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
    }
    posix_spawn_file_actions_destroy(&quiet);
    return run;
}
