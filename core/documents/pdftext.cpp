#include "core/documents/pdftext.h"

#include "core/logging.h"

#include <QCoreApplication>
#include <QLibrary>

namespace {

using Reader = void (*)(const QString &, const StopFlag *, PdfText &);

Reader loadReader()
{
    // Where the build puts it, then beside the app (a relocated copy).
    QStringList folders{QStringLiteral(TOVRA_PDF_MODULE_DIR)};
    if (QCoreApplication::instance())
        folders.append(QCoreApplication::applicationDirPath());
    for (const QString &folder : std::as_const(folders)) {
        QLibrary module(folder + QStringLiteral("/tovra_pdf"));
        if (const auto reader = reinterpret_cast<Reader>(module.resolve("tovraReadPdfText")))
            return reader; // stays loaded: a QLibrary unloads only when asked
    }
    qCWarning(lcCore) << "the PDF reader module did not load from" << folders;
    return nullptr;
}

} // namespace

PdfText readPdfText(const QString &path, const StopFlag *stop)
{
    // Loaded once, by whichever worker reads the first PDF.
    static const Reader reader = loadReader();
    PdfText result;
    if (!reader) {
        result.outcome = PdfText::Outcome::Unavailable;
        return result;
    }
    reader(path, stop, result);
    return result;
}
