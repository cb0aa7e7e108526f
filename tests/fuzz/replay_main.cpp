// Runs a fuzz target without libFuzzer: every seed file, then deterministic
// mutations of them, so the ordinary test run exercises the same entry points.
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>
#include <random>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SEED_FOLDER [MUTATIONS]\n", argv[0]);
        return 2;
    }
    const int mutations = argc > 2 ? std::atoi(argv[2]) : 20000;
    QList<QByteArray> seeds;
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    for (const QString &name : folder.entryList(QDir::Files)) {
        QFile file(folder.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            seeds.append(file.readAll());
    }
    if (seeds.isEmpty())
        seeds.append(QByteArray());
    for (const QByteArray &seed : seeds)
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(seed.constData()),
                               size_t(seed.size()));

    std::mt19937 random(20261206);
    for (int i = 0; i < mutations; ++i) {
        QByteArray input = seeds.at(qsizetype(random() % seeds.size()));
        const int edits = 1 + int(random() % 8);
        for (int e = 0; e < edits; ++e) {
            const auto at = input.isEmpty() ? 0 : qsizetype(random() % input.size());
            switch (random() % 4) {
            case 0:
                if (!input.isEmpty())
                    input[at] = char(random());
                break;
            case 1:
                input.insert(at, char(random()));
                break;
            case 2:
                if (!input.isEmpty())
                    input.remove(at, 1 + qsizetype(random() % 8));
                break;
            default:
                input.insert(at,
                             seeds.at(qsizetype(random() % seeds.size()))
                                 .left(qsizetype(random() % 64)));
                break;
            }
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.constData()),
                               size_t(input.size()));
    }
    std::printf("%lld inputs, no failure\n", static_cast<long long>(seeds.size() + mutations));
    return 0;
}
