#pragma once

#include <QString>

// The backend that answered a model question. Only the user's own key counts as frontier,
// which is what the action gate's YOLO rules hinge on.
struct ModelBackend {
    enum class Kind { byoKey, appleOnDevice, ollamaLocal, none };

    Kind kind = Kind::none;
    QString provider;  // byoKey only: the provider setting as stored, letter case kept

    static ModelBackend byoKey(const QString& provider) { return {Kind::byoKey, provider}; }
    static ModelBackend appleOnDevice() { return {Kind::appleOnDevice, {}}; }
    static ModelBackend ollamaLocal() { return {Kind::ollamaLocal, {}}; }
    static ModelBackend none() { return {Kind::none, {}}; }

    QString label() const;
    bool isFrontier() const { return kind == Kind::byoKey; }

    friend bool operator==(const ModelBackend& a, const ModelBackend& b)
    {
        return a.kind == b.kind && (a.kind != Kind::byoKey || a.provider == b.provider);
    }
};
