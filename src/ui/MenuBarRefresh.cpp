// The daily job from the menu: refresh with the offline fallback, and saving today's copy.
#include "MenuBarController.h"

#include "core/ClientError.h"
#include "net/WallpaperAPIClient.h"
#include "usecases/RefreshJob.h"
#include "usecases/SaveTodayCopy.h"

#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

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
        setStatusText(u"状态：已设置 "_s + result.shown->date + u" · "_s +
                      QFileInfo(result.shown->file).fileName());
        return scheduleAutomaticUpdateCheck();
    }

    const RefreshResult::ServiceFailure &failure = *result.serviceFailure;
    const bool descriptorFailed = failure.stage == RefreshResult::Stage::Descriptor;
    log((descriptorFailed ? u"刷新壁纸失败："_s : u"下载壁纸失败："_s) +
        failure.error.description());
    if (descriptorFailed)
        setStatusText(u"状态：刷新失败 · 等待下次重试"_s);
    if (!result.shown) {
        // No verified wallpaper to fall back on, or the desktop refused it.
        if (showErrors)
            showError(*result.error);
        return;
    }
    setStatusText(u"状态：离线，沿用 "_s + result.shown->date);
    if (showErrors)
        showInfo(descriptorFailed ? u"暂时无法连接服务器"_s : u"壁纸下载失败"_s,
                 u"已沿用上次校验通过的壁纸（"_s + result.shown->date + u"）。\n\n详情："_s +
                     failure.error.description());
}

void MenuBarController::saveTodayWallpaperAction() {
    if (m_busy)
        return;
    if (!m_api || !isConnected())
        return showError(ClientError::missingActivation());
    m_presenter.chooseFolder(
        {u"选择今日壁纸的保存目录"_s, u"选择一个文件夹，壁纸将直接保存到该目录。"_s,
         u"选择此目录"_s, QStandardPaths::writableLocation(QStandardPaths::PicturesLocation)},
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
        log((stage == SaveTodayResult::Stage::Descriptor ? u"读取今日壁纸失败："_s
             : stage == SaveTodayResult::Stage::Download ? u"保存前下载今日壁纸失败："_s
                                                         : u"保存今日壁纸失败："_s) +
            result.error->description());
        return showError(*result.error);
    }
    const QString date = result.today->effectiveDate;
    setStatusText(u"状态：已保存 "_s + date);
    log(u"已保存今日壁纸 date="_s + date + u" path="_s + *result.savedPath);
    showInfo(u"今日壁纸已保存"_s, u"已保存到：\n"_s + *result.savedPath);
}

} // namespace velmora
