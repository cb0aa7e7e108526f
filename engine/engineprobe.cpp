#include "engine/engineprobe.h"

#include "engine/logging.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrl>

#include <QCoroNetworkReply>

#include <nlohmann/json.hpp>

#include <limits>

namespace EngineProbe {

namespace {

std::optional<int> positiveInt(const nlohmann::json &object, const char *key)
{
    if (!object.is_object())
        return std::nullopt;
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number_integer())
        return std::nullopt;
    const auto value = it->get<long long>();
    if (value <= 0 || value > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(value);
}

} // namespace

QCoro::Task<bool> isHealthy(QNetworkAccessManager *network, QString baseURL)
{
    const QUrl url(baseURL + QStringLiteral("/health"));
    if (!url.isValid())
        co_return false;
    QNetworkRequest request(url);
    // One stuck answer must not hold up the whole start-up wait.
    request.setTransferTimeout(10000);
    QPointer<QNetworkReply> reply = network->get(request);
    co_await qCoro(reply.data()).waitForFinished();
    if (!reply)
        co_return false;
    const bool healthy
        = reply->error() == QNetworkReply::NoError
          && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
    reply->deleteLater();
    co_return healthy;
}

std::optional<int> servedContextSize(QByteArrayView propsJson)
{
    const auto props = nlohmann::json::parse(propsJson.begin(), propsJson.end(), nullptr, false);
    if (props.is_discarded() || !props.is_object())
        return std::nullopt;
    if (const auto settings = props.find("default_generation_settings"); settings != props.end())
        if (const std::optional<int> perSlot = positiveInt(*settings, "n_ctx"))
            return perSlot;
    return positiveInt(props, "n_ctx");
}

bool seesImages(QByteArrayView propsJson)
{
    const auto props = nlohmann::json::parse(propsJson.begin(), propsJson.end(), nullptr, false);
    if (props.is_discarded() || !props.is_object())
        return false;
    const auto modalities = props.find("modalities");
    if (modalities == props.end() || !modalities->is_object())
        return false;
    const auto vision = modalities->find("vision");
    return vision != modalities->end() && vision->is_boolean() && vision->get<bool>();
}

QCoro::Task<EngineProps> fetchProps(QNetworkAccessManager *network, QString baseURL)
{
    QNetworkRequest request(QUrl(baseURL + QStringLiteral("/props")));
    // A healthy engine answers at once; one that does not must not hold up the start.
    request.setTransferTimeout(5000);
    QPointer<QNetworkReply> reply = network->get(request);
    co_await qCoro(reply.data()).waitForFinished();
    if (!reply)
        co_return EngineProps{};
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        qCDebug(lcEngine) << "no /props:" << reply->errorString();
        co_return EngineProps{};
    }
    const QByteArray body = reply->readAll();
    const EngineProps props{servedContextSize(body), seesImages(body)};
    qCDebug(lcEngine) << "the engine serves a context of" << props.contextSize.value_or(0)
                      << "tokens; sees pictures:" << props.vision;
    co_return props;
}

} // namespace EngineProbe
