// A 300-page PDF attached: how long its text takes to read and the memory it takes, while the
// UI thread keeps turning. Target: the UI thread's longest stall at most 16 ms.
#include "core/documents/attachmentreader.h"

#include "bench/measure.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <QCoroTask>

#include <cstdio>
#include <cstring>

namespace {
constexpr int pageCount = 300;
constexpr double mib = 1024.0 * 1024.0;

// A plain PDF of text pages, 40 lines each, as a long report would be.
QByteArray reportPdf()
{
    QList<QByteArray> objects; // object n is objects[n - 1]
    objects << "<< /Type /Catalog /Pages 2 0 R >>" << QByteArray()
            << "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
    QByteArray kids;
    for (int page = 0; page < pageCount; ++page) {
        QByteArray stream = "BT /F1 9 Tf 40 800 Td 11 TL\n";
        for (int line = 0; line < 40; ++line)
            stream += QStringLiteral("(Page %1, line %2: the harbour opens at seven and the "
                                     "ferries leave from pier four.) '\n")
                          .arg(page + 1)
                          .arg(line + 1)
                          .toLatin1();
        stream += "ET";
        const int pageObject = int(objects.size()) + 1;
        objects << QByteArray("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources "
                              "<< /Font << /F1 3 0 R >> >> /Contents ")
                       + QByteArray::number(pageObject + 1) + " 0 R >>";
        objects << "<< /Length " + QByteArray::number(stream.size()) + " >>\nstream\n" + stream
                       + "\nendstream";
        kids += QByteArray::number(pageObject) + " 0 R ";
    }
    objects[1]
        = "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pageCount) + " >>";
    QByteArray out = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        offsets << out.size();
        out += QByteArray::number(i + 1) + " 0 obj\n" + objects.at(i) + "\nendobj\n";
    }
    const qsizetype xref = out.size();
    out += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1)
           + " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return out;
}

struct Run
{
    double seconds = 0;
    double stallMs = 0;
    qint64 characters = 0;
    int pages = 0;
};

QCoro::Task<Run> extract(QString path)
{
    QElapsedTimer timer;
    timer.start();
    const AttachmentReader::Result result = co_await AttachmentReader::readInBackground(path);
    if (!result.ok()) {
        std::fprintf(stderr, "reading failed: %s\n", qPrintable(result.error));
        std::exit(1);
    }
    co_return Run{timer.nsecsElapsed() / 1e9, 0, result.draft.text.size(), result.pageCount};
}
} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(reportPdf()) < 0)
        return 1;
    file.close();
    const qint64 baseline = bench::statusBytes("VmRSS");

    bench::StallMeter stalls; // of the UI thread
    Run run;
    [](QString path, Run *into) -> QCoro::Task<> {
        *into = co_await extract(path);
        QCoreApplication::exit(0);
    }(path, &run);
    stalls.start();
    QCoreApplication::exec();
    run.stallMs = stalls.longestMs();
    const qint64 peak = bench::statusBytes("VmHWM");

    std::printf("bench_attach: a %d-page PDF (%.1f MiB), %lld characters of text\n",
                run.pages,
                double(QFileInfo(path).size()) / mib,
                static_cast<long long>(run.characters));
    std::printf("  extraction %.2f s (%.1f ms a page), peak memory growth %.1f MiB\n",
                run.seconds,
                run.seconds * 1000.0 / std::max(run.pages, 1),
                double(peak - baseline) / mib);
    std::printf("  UI thread's longest stall %.1f ms (target: at most 16 ms): %s\n",
                run.stallMs,
                run.stallMs <= 16.0 ? "met" : "MISSED");
    return run.stallMs <= 16.0 ? 0 : 1;
}
