#pragma once

#include <QByteArrayView>
#include <QString>

#include <QCoroTask>

#include <optional>

class QNetworkAccessManager;

// What a running llama-server says of itself: whether it is healthy (GET /health) and the
// context it serves and whether its model sees (GET /props).
namespace EngineProbe {

// One GET of /health at baseURL: status 200 is healthy; anything else (a transport error,
// another status, an address that cannot be formed) is not. The body is ignored.
QCoro::Task<bool> isHealthy(QNetworkAccessManager *network, QString baseURL);

// The context one conversation gets: default_generation_settings.n_ctx, or the top-level
// n_ctx of older engines. A current engine splits --ctx-size across its slots and caps it at
// the model's training context, so this can be less than the app asked for. Absent when the
// answer carries no positive whole number there.
std::optional<int> servedContextSize(QByteArrayView propsJson);

// Whether the loaded model sees pictures: modalities.vision is true (the engine was started
// with the model's projector).
bool seesImages(QByteArrayView propsJson);

// What /props tells: the context (absent when it says nothing usable) and sight.
struct EngineProps
{
    std::optional<int> contextSize;
    bool vision = false;
};

// Asks the engine at baseURL; nothing known when it does not answer in time or refuses.
QCoro::Task<EngineProps> fetchProps(QNetworkAccessManager *network, QString baseURL);

} // namespace EngineProbe
