#include "core/documents/pdftext.h"

#include <poppler-qt6.h>

#include <memory>

PdfText readPdfText(const QString &path, const StopFlag *stop)
{
    PdfText result;
    const std::unique_ptr<Poppler::Document> document = Poppler::Document::load(path);
    if (!document)
        return result;
    if (document->isLocked()) {
        result.outcome = PdfText::Outcome::Locked;
        return result;
    }
    result.pageCount = document->numPages();
    if (result.pageCount <= 0)
        return result; // nothing Poppler could make out: damaged
    QStringList pages;
    pages.reserve(result.pageCount);
    bool anyText = false;
    for (int i = 0; i < result.pageCount; ++i) {
        if (stop && stop->isRaised()) {
            result.outcome = PdfText::Outcome::Stopped;
            return result;
        }
        // One page at a time: only its text is kept, not the page.
        const std::unique_ptr<Poppler::Page> page = document->page(i);
        QString text = page ? page->text(QRectF()).trimmed() : QString();
        anyText = anyText || !text.isEmpty();
        pages.append(std::move(text));
    }
    if (!anyText) {
        result.outcome = PdfText::Outcome::NoText;
        return result;
    }
    result.outcome = PdfText::Outcome::Read;
    result.text = pages.join(QStringLiteral("\n\n"));
    return result;
}
