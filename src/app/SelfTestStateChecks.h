#pragma once

#include "core/ClientPaths.h"
#include "core/Result.h"

#include <QString>

// The self-test's checks of what the client keeps: the bundle it runs from, a saved copy, the
// credential store and the preferences. Each fails with its own sentence, or passes on the
// error of an operation that could not run.
namespace velmora::SelfTestChecks {

// The bundle holds AppIcon.png and it decodes to an image with an area.
Status menuBarIcon();
// The bundle's Info.plist names the version this code was built as.
Status versionMetadata();
// A cached file in `paths` is saved into `pictures` twice, both times to the same readable copy.
Status savedCopy(const ClientPaths &paths, const QString &pictures);
// A credential saved in `paths` is private, marked and read back unchanged; clearing removes it.
Status credentialStore(const ClientPaths &paths);
// The proxy mode and the automatic-update preference on throw-away suites: defaults, a stored
// choice, and (for the proxy mode) a damaged value.
Status networkPreference();
Status updatePreference();

} // namespace velmora::SelfTestChecks
