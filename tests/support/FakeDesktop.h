#pragma once

#include "platform/Desktop.h"

#include <memory>
#include <vector>

namespace velmora::test {

// A desktop that records what it was asked to show, for tests of the code that drives it.
class FakeDesktop final : public platform::Desktop {
public:
    struct Call {
        QString file;
        QString screen;
        platform::DesktopImageOptions options;
    };

    struct State {
        std::vector<platform::Screen> screens{
            {QStringLiteral("DP-1"), QRect(0, 0, 1920, 1080)},
            {QStringLiteral("HDMI-1"), QRect(1920, 0, 1280, 1024)}};
        std::vector<Call> calls;
        int failOnCall = -1; // index of the call that fails
    };

    explicit FakeDesktop(std::shared_ptr<State> state)
        : m_state(std::move(state)) {}

    QString backendName() const override { return QStringLiteral("fake"); }
    std::vector<platform::Screen> screens() const override { return m_state->screens; }
    // A new monitor needs the picture set again.
    bool followsScreenChanges() const override { return true; }
    bool setDesktopImage(const QString &file, const platform::Screen &screen,
                         const platform::DesktopImageOptions &options, QString *error) override {
        if (int(m_state->calls.size()) == m_state->failOnCall) {
            *error = QStringLiteral("显示器拒绝了图片。");
            return false;
        }
        m_state->calls.push_back({file, screen.name, options});
        return true;
    }

    // A factory for WallpaperStore and the refresh pipeline.
    static auto factory(std::shared_ptr<State> state) {
        return [state] {
            return std::unique_ptr<platform::Desktop>(new FakeDesktop(state));
        };
    }

private:
    std::shared_ptr<State> m_state;
};

} // namespace velmora::test
