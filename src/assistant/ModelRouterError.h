#pragma once

#include <QString>

// The router's own failures, as the user-facing texts they are shown with. Failures of the
// network layer travel as that layer's text; everything reaches callers as Result<T>::error().
namespace ModelRouterError {

QString noBackendAvailable(const QString& detail);
QString disabled();
QString disclosureNotAccepted();

}  // namespace ModelRouterError
