#include "core/documents/attachmentreader.h"

#include "core/documents/pdftext.h"
#include "platform/regularfile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QStringDecoder>
#include <QtConcurrent/QtConcurrentRun>

#include <QCoroFuture>

const QStringList textFileExtensions{
    QStringLiteral("txt"),  QStringLiteral("md"),  QStringLiteral("swift"), QStringLiteral("py"),
    QStringLiteral("js"),   QStringLiteral("ts"),  QStringLiteral("json"),  QStringLiteral("csv"),
    QStringLiteral("html"), QStringLiteral("css"), QStringLiteral("xml"),   QStringLiteral("yaml"),
    QStringLiteral("yml"),  QStringLiteral("sh"),  QStringLiteral("rb"),    QStringLiteral("go"),
    QStringLiteral("rs"),   QStringLiteral("c"),   QStringLiteral("cpp"),   QStringLiteral("h"),
    QStringLiteral("java"), QStringLiteral("kt"),  QStringLiteral("sql"),   QStringLiteral("log"),
    QStringLiteral("toml"), QStringLiteral("ini"), QStringLiteral("cfg"),
};

namespace AttachmentReader {

namespace {

const QStringList imageExtensions{QStringLiteral("png"),
                                  QStringLiteral("jpg"),
                                  QStringLiteral("jpeg"),
                                  QStringLiteral("webp")};

QString extensionOf(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot > 0 ? fileName.mid(dot + 1).toLower() : QString();
}

void readPdf(Result &result, const QString &path, const StopFlag &stop)
{
    const PdfText pdf = readPdfText(path, &stop);
    result.pageCount = pdf.pageCount;
    switch (pdf.outcome) {
    case PdfText::Outcome::Read:
        result.draft.text = pdf.text;
        break;
    case PdfText::Outcome::NoText:
        result.error = QStringLiteral("This PDF has no text (scanned pages need OCR)");
        break;
    case PdfText::Outcome::Locked:
        result.error = QStringLiteral("This PDF is protected by a password");
        break;
    case PdfText::Outcome::Damaged:
        result.error = QStringLiteral("This PDF cannot be read (it may be damaged)");
        break;
    case PdfText::Outcome::Stopped:
        result.error = QStringLiteral("Reading was stopped");
        break;
    case PdfText::Outcome::Unavailable:
        result.error = QStringLiteral("PDFs cannot be read here: the app's PDF reader is missing");
        break;
    }
}

void readText(Result &result, QFile &file)
{
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.error = QStringLiteral("The file cannot be read: ") + file.errorString();
        return;
    }
    // Stateless: a sequence cut off at the end is an error, not input still to come.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    result.draft.text = decoder(bytes);
    if (decoder.hasError()) {
        result.draft.text.clear();
        result.error = QStringLiteral("This file is not UTF-8 text");
    }
}

void readImage(Result &result, QFile &file)
{
    const QByteArray bytes = file.readAll();
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QByteArray format = reader.format();
    QImage image = reader.read();
    if (image.isNull()) {
        result.error = QStringLiteral("This picture cannot be read");
        return;
    }
    if (std::max(image.width(), image.height()) <= longestImageSide
        && reader.transformation() == QImageIOHandler::TransformationNone) {
        result.draft.imageBytes = bytes; // sent as it is
        return;
    }
    image = image.scaled(longestImageSide,
                         longestImageSide,
                         Qt::KeepAspectRatio,
                         Qt::SmoothTransformation);
    // A PNG stays lossless (screenshots, diagrams); photographs go as JPEG.
    const bool png = format == "png";
    QBuffer out(&result.draft.imageBytes);
    out.open(QIODevice::WriteOnly);
    if (!image.save(&out, png ? "PNG" : "JPEG", png ? -1 : 90))
        result.error = QStringLiteral("This picture cannot be read");
}

Result readFile(const QString &path, const StopFlag &stop)
{
    return read(path, stop);
}

} // namespace

Kind kindOf(const QString &fileName)
{
    const QString extension = extensionOf(fileName);
    if (extension == QLatin1String("pdf"))
        return Kind::Pdf;
    if (textFileExtensions.contains(extension))
        return Kind::Text;
    if (imageExtensions.contains(extension))
        return Kind::Image;
    return Kind::Other;
}

Result read(const QString &path, const StopFlag &stop)
{
    Result result;
    const QFileInfo info(path);
    const Kind kind = kindOf(info.fileName());
    result.draft.name = info.fileName();
    result.draft.kind = kind == Kind::Image ? Attachment::image : Attachment::document;
    result.draft.sourcePath = path;
    result.draft.size = info.size();
    if (kind == Kind::Other) {
        result.error = QStringLiteral("Only PDFs, text files and pictures (PNG, JPEG, WebP) "
                                      "can be attached");
        return result;
    }
    QFile file;
    if (const QString why = openRegularFile(file, path); !why.isEmpty()) {
        result.error = QStringLiteral("The file cannot be read: ") + why;
        return result;
    }
    result.draft.size = file.size();
    if (file.size() > largestFile) {
        result.error = QStringLiteral("This file is larger than 64 MB, the most that can be "
                                      "attached");
        return result;
    }
    switch (kind) {
    case Kind::Pdf:
        file.close();
        readPdf(result, path, stop);
        break;
    case Kind::Text:
        readText(result, file);
        break;
    case Kind::Image:
        readImage(result, file);
        break;
    case Kind::Other:
        break;
    }
    return result;
}

QCoro::Task<Result> readInBackground(QString path, StopFlag stop)
{
    // A named result, not `co_return co_await`: GCC 12 destroys the frame's parameters twice
    // in that form.
    Result result = co_await QtConcurrent::run(readFile, path, stop);
    co_return result;
}

} // namespace AttachmentReader
