// How a campaign status becomes the window's content (render and its two columns).
#include "RewardWindowController.h"

#include "RewardCodeView.h"
#include "core/Text.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

// Service texts are shown as plain text without control or reordering characters, and a
// hostile length cannot make the window unusable.
constexpr qsizetype kNameLength = 200;
constexpr qsizetype kCodeLength = 512;
constexpr qsizetype kInstructionLineLength = 1000;
constexpr qsizetype kInstructionLines = 40;

bool hasSource(const std::vector<ClientRewardCodeResponse> &codes, QStringView source) {
    return std::any_of(codes.begin(), codes.end(),
                       [source](const auto &code) { return code.source == source; });
}

// The codes the window shows, newest first: at most `count` of them, by their issue time. A
// time that cannot be read counts as the most distant past; among equal times the one listed
// later (issued later) comes first.
std::vector<ClientRewardCodeResponse> newestCodes(std::vector<ClientRewardCodeResponse> &codes,
                                                  std::size_t count) {
    struct Entry {
        qint64 issued;
        std::size_t index;
    };
    std::vector<Entry> order;
    order.reserve(codes.size());
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const QDateTime issued = QDateTime::fromString(codes[i].issuedAtUtc, Qt::ISODateWithMs);
        order.push_back(
            {issued.isValid() ? issued.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min(),
             i});
    }
    const auto shown = order.begin() + std::ptrdiff_t(std::min(count, order.size()));
    std::partial_sort(order.begin(), shown, order.end(), [](const Entry &a, const Entry &b) {
        return a.issued != b.issued ? a.issued > b.issued : a.index > b.index;
    });
    std::vector<ClientRewardCodeResponse> newest;
    newest.reserve(std::size_t(shown - order.begin()));
    for (auto entry = order.begin(); entry != shown; ++entry)
        newest.push_back(std::move(codes[entry->index]));
    return newest;
}

QLabel *textLabel(const QString &text, qreal points = 13, QFont::Weight weight = QFont::Normal) {
    auto *label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSizeF(points);
    font.setWeight(weight);
    label->setFont(font);
    return label;
}

// The instructions keep their line breaks; each line is cleaned like any other service text.
QString instructionsText(const QString &instructions) {
    return Text::displaySafeLines(instructions, kInstructionLines, kInstructionLineLength);
}

QWidget *column(int spacing, QVBoxLayout **layout) {
    auto *widget = new QWidget;
    *layout = new QVBoxLayout(widget);
    (*layout)->setContentsMargins(0, 0, 0, 0);
    (*layout)->setSpacing(spacing);
    return widget;
}

} // namespace

void RewardWindowController::render(ClientRewardStatusResponse answer) {
    // Only the codes shown are kept: a service listing thousands must not make the window
    // hold or lay out thousands. The claims offered still follow every code listed, so a
    // base or referral code among those left out still counts as issued.
    const bool hasBase = hasSource(answer.codes, u"base");
    const bool hasReferral = hasSource(answer.codes, u"referral");
    const std::size_t listed = answer.codes.size();
    answer.codes = newestCodes(answer.codes, kShownCodes);
    m_hiddenCodes = qint64(listed - answer.codes.size());
    answer.canClaimBase = answer.canClaimBase && (!hasBase || hasSource(answer.codes, u"base"));
    answer.canClaimReferral =
        answer.canClaimReferral && (!hasReferral || hasSource(answer.codes, u"referral"));
    m_status = std::move(answer);
    const ClientRewardStatusResponse &status = *m_status;
    // Nothing rendered is ever the sender of the running action: render only runs from
    // answers of the service, so the old views can go at once.
    while (QLayoutItem *item = m_body->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    m_codeButtons.clear();

    const QString name = Text::displaySafe(status.campaignName, kNameLength);
    m_body->addWidget(textLabel(name.isEmpty() ? u"红包活动"_s : name, 17, QFont::DemiBold));

    if (!status.enabled || !status.campaignId)
        m_body->addWidget(textLabel(u"红包活动暂未开放。已领取的口令仍显示在下方。"_s));
    else if (!status.stockAvailable)
        m_body->addWidget(textLabel(u"口令暂时领完了，请稍后再来。已领取的口令不受影响。"_s));

    m_body->addWidget(
        textLabel(u"成功邀请："_s + QString::number(status.successfulInvitations) + u" 人"_s));

    if (!Text::isBlank(status.instructions))
        m_body->addWidget(textLabel(instructionsText(status.instructions)));

    // Codes on the left, taking what the fixed redemption column leaves.
    auto *row = new QWidget;
    auto *columns = new QHBoxLayout(row);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(24);
    columns->addWidget(makeCodesColumn(status), 1, Qt::AlignTop);
    columns->addWidget(makeRedemptionColumn(status), 0, Qt::AlignTop);
    m_body->addWidget(row);

    if (hasReferral)
        m_body->addWidget(textLabel(u"邀请奖励口令已领取。"_s));
    else if (!status.canClaimReferral)
        m_body->addWidget(
            textLabel(u"朋友通过你的邀请链接完成注册后，可在这里查看额外口令的领取资格。"_s));

    updateButtons();
}

QWidget *RewardWindowController::makeCodesColumn(const ClientRewardStatusResponse &status) {
    QVBoxLayout *codes = nullptr;
    QWidget *left = column(18, &codes);
    if (status.codes.empty())
        codes->addWidget(textLabel(u"还没有领取到口令。"_s));
    for (std::size_t i = 0; i < status.codes.size(); ++i) {
        const ClientRewardCodeResponse &code = status.codes[i];
        QVBoxLayout *entry = nullptr;
        QWidget *stack = column(8, &entry);
        entry->addWidget(textLabel(code.source == u"referral" ? u"邀请奖励口令"_s : u"红包口令"_s,
                                   13, QFont::Medium));
        entry->addWidget(new RewardCodeView(Text::displaySafe(code.code, kCodeLength)));
        auto *copy = new QPushButton(u"复制口令"_s);
        const int index = int(i);
        connect(copy, &QPushButton::clicked, this, [this, index] { copyCodeAction(index); });
        entry->addWidget(copy, 0, Qt::AlignLeft);
        m_codeButtons.append(copy);
        codes->addWidget(stack);
    }
    if (m_hiddenCodes > 0)
        codes->addWidget(textLabel(u"还有 %1 个口令未显示。"_s.arg(m_hiddenCodes)));
    return left;
}

QWidget *RewardWindowController::makeRedemptionColumn(const ClientRewardStatusResponse &status) {
    QVBoxLayout *redemption = nullptr;
    QWidget *right = column(12, &redemption);
    right->setFixedWidth(qrSide);

    QImage image;
    if (const std::optional<QByteArray> png = status.redemptionQRData())
        image = QImage::fromData(*png, "PNG");
    if (!image.isNull() && image.width() > 0 && image.height() > 0) {
        redemption->addWidget(textLabel(u"扫码前往小程序领取"_s, 13, QFont::Medium));
        if (image.width() > qrSide || image.height() > qrSide)
            image = image.scaled(qrSide, qrSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        auto *qr = new QLabel;
        qr->setFixedSize(qrSide, qrSide);
        qr->setAlignment(Qt::AlignCenter);
        qr->setPixmap(QPixmap::fromImage(image));
        qr->setAccessibleName(u"管理员配置的领奖二维码"_s);
        redemption->addWidget(qr);
    } else {
        const bool absent = !status.redemptionQrBase64 || status.redemptionQrBase64->isEmpty();
        redemption->addWidget(textLabel(absent ? u"管理员尚未配置领奖二维码。"_s
                                               : u"领奖二维码暂时无法显示，请联系管理员更新。"_s));
    }

    if (const std::optional<QUrl> url = status.safeRedemptionURL()) {
        auto *open = new QPushButton(u"打开领奖页面"_s);
        open->setToolTip(url->toString(QUrl::FullyEncoded));
        connect(open, &QPushButton::clicked, this, [this] { openRedemptionAction(); });
        redemption->addWidget(open, 0, Qt::AlignLeft);
    }
    return right;
}

} // namespace velmora
