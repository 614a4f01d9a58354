// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "import/importtree.h"
#include "model/progress.h"

#include <string>

// Reads a folder of documents: its files become file entries (type 0) named after the file, with
// the full path as target; its subfolders become folders. File and folder names are kept as their
// exact bytes and each sorted as a file manager sorts them. Hidden (dot) entries, symbolic links to
// folders, sockets, FIFOs and devices are left out silently; a subfolder that cannot be listed is
// left out and counted as skipped. Throws std::runtime_error with a sentence naming the folder
// when the folder itself is missing or cannot be read.
// Progress hears the folders read so far (of a total not known beforehand); when it asks to stop,
// ReadStopped is thrown.
ImportTree readFolderTree(const std::string& folder, Progress& progress = Progress::none());

// The user stopped a read before anything was stored.
struct ReadStopped {};
