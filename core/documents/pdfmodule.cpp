// The PDF reader, a module of its own: Poppler and the libraries it brings (NSS, lcms,
// OpenJPEG…) are loaded with the first PDF attached, not with the window.
#include "core/documents/pdftext.h"

#include <poppler-qt6.h>

#include <memory>

extern "C" Q_DECL_EXPORT void tovraReadPdfText(const QString &path,
                                               const StopFlag *stop,
                                               PdfText &result)
{
    result = PdfText{};
    const std::unique_ptr<Poppler::Document> document = Poppler::Document::load(path);
    if (!document)
        return;
    if (document->isLocked()) {
        result.outcome = PdfText::Outcome::Locked;
        return;
    }
    result.pageCount = document->numPages();
    if (result.pageCount <= 0)
        return; // nothing Poppler could make out: damaged
    QStringList pages;
    pages.reserve(result.pageCount);
    bool anyText = false;
    for (int i = 0; i < result.pageCount; ++i) {
        if (stop && stop->isRaised()) {
            result.outcome = PdfText::Outcome::Stopped;
            return;
        }
        // One page at a time: only its text is kept, not the page.
        const std::unique_ptr<Poppler::Page> page = document->page(i);
        QString text = page ? page->text(QRectF()).trimmed() : QString();
        anyText = anyText || !text.isEmpty();
        pages.append(std::move(text));
    }
    if (!anyText) {
        result.outcome = PdfText::Outcome::NoText;
        return;
    }
    result.outcome = PdfText::Outcome::Read;
    result.text = pages.join(QStringLiteral("\n\n"));
}
