// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "extract/textsink.h"
#include "extract/zippackage.h"

namespace extract {

// The text of the zip-packaged formats, part by part in reading order. Each raises ReadFailure when
// the package lacks the part that holds the text.

// OpenDocument text, spreadsheet and presentation: content.xml.
void readOpenDocument(const ZipPackage& package, TextSink& sink);
// Word, Excel and PowerPoint files: the document, its notes; the shared strings; the slides in order.
void readOfficeOpenXml(const ZipPackage& package, TextSink& sink);
// An EPUB book: its chapters in the order of the spine its package file names.
void readEpub(const ZipPackage& package, TextSink& sink);

}  // namespace extract
