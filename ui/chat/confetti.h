#pragma once

#include <QColor>
#include <QList>
#include <QRandomGenerator>
#include <QUuid>

// One falling paper strip of the celebration.
struct ConfettiParticle
{
    QUuid id;
    double xFraction = 0;     // horizontal position as a fraction of the width
    double startRotation = 0; // degrees
    double endRotation = 0;   // degrees
    QColor color;
    double width = 0;    // points; the height is half of it
    double delay = 0;    // seconds before the strip starts to fall
    double duration = 0; // seconds of the fall
};

// red, orange, yellow, green, blue, purple, pink, mint, cyan.
const QList<QColor> &confettiPalette();

constexpr int confettiParticleCount = 60;
QList<ConfettiParticle> makeConfettiParticles(QRandomGenerator &random
                                              = *QRandomGenerator::global());
