#pragma once

#include <QString>

namespace quillet {

// Where one chat request goes; built fresh for every request and never stored.
struct Endpoint {
    QString baseURL; // without the "/chat/completions" suffix
    QString key;     // bearer key; empty when none is configured
    QString model;
};

} // namespace quillet
