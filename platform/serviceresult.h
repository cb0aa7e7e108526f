#pragma once

#include <QString>

#include <optional>
#include <utility>

// A failure of an operating-system service, with the domain and code the caller may
// show or check; only the description ever reaches the user.
struct ServiceError
{
    QString domain;
    int code = 0;
    QString description;
};

// The value of a service call or the error it failed with.
template<typename T>
class ServiceResult
{
public:
    ServiceResult()
        : m_error(ServiceError{})
    {}
    ServiceResult(T value)
        : m_value(std::move(value))
    {}
    ServiceResult(ServiceError error)
        : m_error(std::move(error))
    {}

    bool ok() const { return !m_error.has_value(); }
    const T &value() const { return *m_value; }
    const ServiceError &error() const { return *m_error; }

private:
    std::optional<T> m_value;
    std::optional<ServiceError> m_error;
};
