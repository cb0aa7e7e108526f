#include "ui/chat/confetti.h"

namespace {
// Uniform in [low, high], both ends included.
double uniformClosed(QRandomGenerator &random, double low, double high)
{
    constexpr quint64 top = (quint64(1) << 53) - 1;
    const double unit = double(random.generate64() >> 11) / double(top);
    return low + (high - low) * unit;
}
} // namespace

const QList<QColor> &confettiPalette()
{
    // The platform's standard colours of those names.
    static const QList<QColor> palette{
        QColor(0xff, 0x3b, 0x30), // red
        QColor(0xff, 0x95, 0x00), // orange
        QColor(0xff, 0xcc, 0x00), // yellow
        QColor(0x34, 0xc7, 0x59), // green
        QColor(0x00, 0x7a, 0xff), // blue
        QColor(0xaf, 0x52, 0xde), // purple
        QColor(0xff, 0x2d, 0x55), // pink
        QColor(0x00, 0xc7, 0xbe), // mint
        QColor(0x32, 0xad, 0xe6), // cyan
    };
    return palette;
}

QList<ConfettiParticle> makeConfettiParticles(QRandomGenerator &random)
{
    QList<ConfettiParticle> particles;
    particles.reserve(confettiParticleCount);
    const QList<QColor> &palette = confettiPalette();
    for (int i = 0; i < confettiParticleCount; ++i) {
        ConfettiParticle particle;
        particle.xFraction = uniformClosed(random, 0.02, 0.98);
        particle.startRotation = uniformClosed(random, 0, 360);
        particle.endRotation = uniformClosed(random, 360, 1080);
        particle.color = palette.at(int(random.bounded(quint32(palette.size()))));
        particle.width = uniformClosed(random, 7, 15);
        particle.delay = uniformClosed(random, 0, 1);
        particle.duration = uniformClosed(random, 2.0, 3.5);
        particle.id = QUuid::createUuid();
        particles.append(particle);
    }
    return particles;
}
