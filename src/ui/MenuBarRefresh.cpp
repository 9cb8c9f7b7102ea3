// The daily job from the menu: refresh with the offline fallback, and saving today's copy.
#include "MenuBarController.h"

#include "core/ClientError.h"
#include "net/WallpaperAPIClient.h"
#include "usecases/RefreshJob.h"
#include "usecases/SaveTodayCopy.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace velmora {

void MenuBarController::refreshAction() {
    refreshWallpaper(true);
}

void MenuBarController::refreshWallpaper(bool showErrors) {
    if (m_busy)
        return;
    if (!m_api || !isConnected()) {
        if (showErrors)
            showError(ClientError::missingActivation());
        return;
    }
    setBusy(true);
    m_lastRefreshStarted = m_context.now();
    m_api->useActivation(*m_activation);
    auto *job = new RefreshJob(m_context, *m_api, {.fallBackAfterDownloadFailure = true}, this);
    job->start([this, job, showErrors](RefreshResult result) {
        job->deleteLater();
        finishRefresh(result, showErrors);
    });
}

void MenuBarController::finishRefresh(const RefreshResult &result, bool showErrors) {
    m_lastRefreshOffline = result.serviceFailure.has_value();
    setBusy(false);
    if (!result.serviceFailure) {
        if (result.error) {
            if (showErrors)
                showError(*result.error);
            return;
        }
        setStatusText(QStringLiteral("状态：已设置 ") + result.shown->date + QStringLiteral(" · ") +
                      QFileInfo(result.shown->file).fileName());
        return scheduleAutomaticUpdateCheck();
    }

    const RefreshResult::ServiceFailure &failure = *result.serviceFailure;
    const bool descriptorFailed = failure.stage == RefreshResult::Stage::Descriptor;
    log((descriptorFailed ? QStringLiteral("刷新壁纸失败：") : QStringLiteral("下载壁纸失败：")) +
        failure.error.description());
    if (descriptorFailed)
        setStatusText(QStringLiteral("状态：刷新失败 · 等待下次重试"));
    if (!result.shown) {
        // No verified wallpaper to fall back on, or the desktop refused it.
        if (showErrors)
            showError(*result.error);
        return;
    }
    setStatusText(QStringLiteral("状态：离线，沿用 ") + result.shown->date);
    if (showErrors)
        showInfo(descriptorFailed ? QStringLiteral("暂时无法连接服务器")
                                  : QStringLiteral("壁纸下载失败"),
                 QStringLiteral("已沿用上次校验通过的壁纸（") + result.shown->date +
                     QStringLiteral("）。\n\n详情：") + failure.error.description());
}

void MenuBarController::saveTodayWallpaperAction() {
    if (m_busy)
        return;
    if (!m_api || !isConnected())
        return showError(ClientError::missingActivation());
    m_presenter.chooseFolder(
        {QStringLiteral("选择今日壁纸的保存目录"),
         QStringLiteral("选择一个文件夹，壁纸将直接保存到该目录。"), QStringLiteral("选择此目录"),
         QStandardPaths::writableLocation(QStandardPaths::PicturesLocation)},
        [this, guard = QPointer<MenuBarController>(this)](std::optional<QString> folder) {
            // The state may have changed while the panel was open.
            if (!guard || !folder || m_busy || !m_api || !isConnected())
                return;
            setBusy(true);
            m_api->useActivation(*m_activation);
            auto *job = new SaveTodayCopy(m_context, *m_api, *folder, this);
            job->start([this, job](SaveTodayResult result) {
                job->deleteLater();
                finishSave(result);
            });
        });
}

void MenuBarController::finishSave(const SaveTodayResult &result) {
    setBusy(false);
    if (result.error) {
        const SaveTodayResult::Stage stage =
            result.failedStage.value_or(SaveTodayResult::Stage::Copy);
        log((stage == SaveTodayResult::Stage::Descriptor ? QStringLiteral("读取今日壁纸失败：")
             : stage == SaveTodayResult::Stage::Download
                 ? QStringLiteral("保存前下载今日壁纸失败：")
                 : QStringLiteral("保存今日壁纸失败：")) +
            result.error->description());
        return showError(*result.error);
    }
    const QString date = result.today->effectiveDate;
    setStatusText(QStringLiteral("状态：已保存 ") + date);
    log(QStringLiteral("已保存今日壁纸 date=") + date + QStringLiteral(" path=") +
        *result.savedPath);
    showInfo(QStringLiteral("今日壁纸已保存"), QStringLiteral("已保存到：\n") + *result.savedPath);
}

} // namespace velmora
