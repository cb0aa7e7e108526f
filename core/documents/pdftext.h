#pragma once

#include "platform/stopflag.h"

#include <QString>

// The text of a PDF, page by page, through Poppler.
struct PdfText
{
    enum class Outcome { Read, NoText, Locked, Damaged, Stopped, Unavailable };
    Outcome outcome = Outcome::Damaged;
    QString text;
    int pageCount = 0;
};

// Reads the whole file; meant for a worker thread. A raised `stop` ends it between pages.
// Poppler lives in a module loaded at the first call; Unavailable when it cannot be.
PdfText readPdfText(const QString &path, const StopFlag *stop = nullptr);
