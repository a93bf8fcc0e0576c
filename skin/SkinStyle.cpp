#include "skin/SkinStyle.h"

#include "skin/TSkinData.h"

#include <QApplication>
#include <QPainter>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOption>

#include <algorithm>

int SkinButtonFrame(QStyle::State state, bool isDefault) {
    if (!(state & QStyle::State_Enabled))
        return kFrameDisabled;
    if (state & (QStyle::State_Sunken | QStyle::State_On))
        return kFramePressed;
    if (state & QStyle::State_MouseOver)
        return kFrameHot;
    if (isDefault || (state & QStyle::State_HasFocus))
        return kFrameDefault;
    return kFrameNormal;
}

int SkinIndicatorFrame(QStyle::State state, int frames) {
    const bool checked = state & (QStyle::State_On | QStyle::State_NoChange);
    const bool enabled = state & QStyle::State_Enabled;
    if (frames < 8)
        return enabled ? (checked ? 1 : 0) : (checked ? 3 : 2);
    int sub = kFrameNormal;
    if (!enabled)
        sub = kFrameDisabled;
    else if (state & QStyle::State_Sunken)
        sub = kFramePressed;
    else if (state & QStyle::State_MouseOver)
        sub = kFrameHot;
    return (checked ? 4 : 0) + sub;
}

SkinStyle::SkinStyle(std::shared_ptr<const SkinLook> look)
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))), look_(std::move(look)) {}

std::unique_ptr<SkinStyle> MakeSkinStyle(const TSkinData& skin) {
    return std::make_unique<SkinStyle>(std::make_shared<const SkinLook>(
        MakeSkinLook(skin.Elements(), skin.SkinControls(), QApplication::palette())));
}

namespace {

int EdgeFrame(QStyle::State state) {
    if (!(state & QStyle::State_Enabled))
        return 3;
    if (state & QStyle::State_HasFocus)
        return 2;
    if (state & QStyle::State_MouseOver)
        return 1;
    return 0;
}

// The text colour a piece gives for a state, or an invalid colour when it gives none.
QColor TextColour(const SkinPiece& piece, QStyle::State state) {
    if (state & (QStyle::State_Sunken | QStyle::State_On))
        return piece.textColours[2];
    if (state & QStyle::State_MouseOver)
        return piece.textColours[1];
    return piece.textColours[0];
}

void SetTextColour(QPalette& palette, const QColor& colour) {
    for (auto role : {QPalette::ButtonText, QPalette::Text, QPalette::WindowText}) {
        palette.setColor(QPalette::Active, role, colour);
        palette.setColor(QPalette::Inactive, role, colour);
    }
}

} // namespace

void SkinStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                              QPainter* painter, const QWidget* widget) const {
    const SkinLook& look = *look_;
    switch (element) {
    case PE_PanelButtonCommand:
        if (!look.button.IsNull()) {
            const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
            const bool isDefault = button && (button->features & QStyleOptionButton::DefaultButton);
            DrawSkinPiece(*painter, option->rect, look.button,
                          SkinButtonFrame(option->state, isDefault));
            return;
        }
        break;
    case PE_FrameFocusRect:
        // The default frame of a skinned push button already shows the focus.
        if (!look.button.IsNull() && qobject_cast<const QPushButton*>(widget))
            return;
        break;
    case PE_IndicatorCheckBox:
        if (DrawIndicator(look.checkBox, option, painter))
            return;
        break;
    case PE_IndicatorRadioButton:
        if (DrawIndicator(look.radioButton, option, painter))
            return;
        break;
    case PE_FrameGroupBox:
        if (!look.groupBox.IsNull()) {
            DrawSkinPiece(*painter, option->rect, look.groupBox,
                          (option->state & State_Enabled) ? 0 : 1, true);
            return;
        }
        break;
    case PE_PanelStatusBar:
        if (!look.statusBar.IsNull()) {
            DrawSkinPiece(*painter, option->rect, look.statusBar, 0);
            return;
        }
        break;
    case PE_FrameStatusBarItem:
        if (!look.statusBar.IsNull()) {
            DrawSkinPiece(*painter, option->rect, look.statusBar, 1, true);
            return;
        }
        break;
    case PE_PanelMenu:
        if (!look.menuBackground.IsNull()) {
            DrawSkinPiece(*painter, option->rect, look.menuBackground, 0);
            return;
        }
        break;
    case PE_FrameMenu:
        if (!look.menuBackground.IsNull())
            return; // the background image carries the border
        break;
    case PE_Frame:
    case PE_FrameLineEdit:
        if (!look.sunkEdge.IsNull()) {
            DrawSkinPiece(*painter, option->rect, look.sunkEdge, EdgeFrame(option->state), true);
            return;
        }
        break;
    default:
        break;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

bool SkinStyle::DrawIndicator(const SkinPiece& piece, const QStyleOption* option,
                              QPainter* painter) const {
    if (piece.IsNull())
        return false;
    // The indicator keeps its own size, centred in the place the layout gave it.
    QRect target(QPoint(), piece.FrameSize());
    target.moveCenter(option->rect.center());
    painter->drawImage(target, piece.image,
                       piece.FrameRect(SkinIndicatorFrame(option->state, piece.frames)));
    return true;
}

void SkinStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                            const QWidget* widget) const {
    const SkinLook& look = *look_;
    switch (element) {
    case CE_PushButtonLabel:
        if (const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option)) {
            const QColor colour = TextColour(look.button, option->state);
            if (colour.isValid() && (option->state & State_Enabled)) {
                QStyleOptionButton copy(*button);
                SetTextColour(copy.palette, colour);
                QProxyStyle::drawControl(element, &copy, painter, widget);
                return;
            }
        }
        break;
    case CE_ProgressBarGroove:
        if (!look.progress.IsNull()) {
            DrawSkinPiece(*painter, option->rect, look.progress, 0);
            return;
        }
        break;
    case CE_ProgressBarContents:
        if (DrawProgressContents(option, painter))
            return;
        break;
    case CE_HeaderSection:
        if (!look.header.IsNull()) {
            const auto* header = qstyleoption_cast<const QStyleOptionHeader*>(option);
            const bool sorted = header && header->sortIndicator != QStyleOptionHeader::None;
            DrawSkinPiece(*painter, option->rect, look.header,
                          SkinButtonFrame(option->state & ~State_HasFocus, sorted));
            return;
        }
        break;
    case CE_MenuItem:
        if (DrawMenuItem(option, painter, widget))
            return;
        break;
    case CE_MenuEmptyArea:
        if (!look.menuBackground.IsNull())
            return;
        break;
    case CE_SizeGrip:
        if (!look.statusBar.IsNull() && look.statusBar.frames >= 3) {
            DrawSkinPiece(*painter, option->rect, look.statusBar, 2);
            return;
        }
        break;
    default:
        break;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

bool SkinStyle::DrawProgressContents(const QStyleOption* option, QPainter* painter) const {
    const SkinPiece& piece = look_->progress;
    const auto* bar = qstyleoption_cast<const QStyleOptionProgressBar*>(option);
    if (piece.IsNull() || piece.frames < 2 || !bar)
        return false;
    const qint64 range = qint64(bar->maximum) - bar->minimum;
    if (range <= 0)
        return false; // the busy indicator has nothing to measure
    const qint64 done = std::clamp<qint64>(qint64(bar->progress) - bar->minimum, 0, range);
    const bool horizontal = bar->state & State_Horizontal;
    QRect filled = option->rect;
    if (horizontal) {
        const int width = int(filled.width() * done / range);
        if (bar->invertedAppearance)
            filled.setLeft(filled.right() + 1 - width);
        else
            filled.setWidth(width);
    } else {
        const int height = int(filled.height() * done / range);
        if (bar->invertedAppearance)
            filled.setHeight(height);
        else
            filled.setTop(filled.bottom() + 1 - height);
    }
    DrawSkinPiece(*painter, filled, piece, 1);
    return true;
}

bool SkinStyle::DrawMenuItem(const QStyleOption* option, QPainter* painter,
                             const QWidget* widget) const {
    const SkinPiece& piece = look_->menuItem;
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (!item || item->menuItemType == QStyleOptionMenuItem::Separator ||
        item->menuItemType == QStyleOptionMenuItem::EmptyArea)
        return false;
    const bool selected = item->state & State_Selected;
    const bool enabled = item->state & State_Enabled;
    if (piece.IsNull() && look_->menuBackground.IsNull())
        return false;
    QStyleOptionMenuItem copy(*item);
    if (!piece.IsNull() && selected) {
        DrawSkinPiece(*painter, option->rect, piece, enabled ? 1 : 4);
        // The base style must not paint its own highlight over the image.
        copy.state &= ~State_Selected;
    }
    if (enabled) {
        QColor colour = selected ? piece.textColours[1] : piece.textColours[0];
        if (!colour.isValid())
            colour = selected ? copy.palette.color(QPalette::HighlightedText)
                              : copy.palette.color(QPalette::WindowText);
        SetTextColour(copy.palette, colour);
    }
    QProxyStyle::drawControl(CE_MenuItem, &copy, painter, widget);
    return true;
}

void SkinStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                   QPainter* painter, const QWidget* widget) const {
    if (control == CC_ScrollBar && DrawScrollBar(option, painter, widget))
        return;
    QProxyStyle::drawComplexControl(control, option, painter, widget);
}

bool SkinStyle::DrawScrollBar(const QStyleOptionComplex* option, QPainter* painter,
                              const QWidget* widget) const {
    const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (!bar)
        return false;
    const bool horizontal = bar->orientation == Qt::Horizontal;
    const SkinPiece& track = horizontal ? look_->horzScroll : look_->vertScroll;
    const SkinPiece& thumb = horizontal ? look_->horzThumb : look_->vertThumb;
    if (track.IsNull() || thumb.IsNull())
        return false;
    const bool enabled = bar->state & State_Enabled;
    const bool sunken = bar->state & State_Sunken;
    const bool hover = bar->state & State_MouseOver;
    auto partState = [&](SubControls part) {
        if (!enabled)
            return 3;
        if (bar->activeSubControls & part)
            return sunken ? 2 : (hover ? 1 : 0);
        return 0;
    };

    const QRect groove = subControlRect(CC_ScrollBar, bar, SC_ScrollBarGroove, widget);
    int trackFrame = partState(SC_ScrollBarAddPage | SC_ScrollBarSubPage);
    if (enabled && trackFrame == 0 && hover)
        trackFrame = 1;
    DrawSkinPiece(*painter, groove, track, trackFrame);

    if (bar->maximum > bar->minimum) {
        const QRect slider = subControlRect(CC_ScrollBar, bar, SC_ScrollBarSlider, widget);
        DrawSkinPiece(*painter, slider, thumb, enabled ? partState(SC_ScrollBarSlider) : 0);
    }

    const SkinPiece& arrows = look_->scrollArrows;
    if (arrows.IsNull() || arrows.frames < 16) {
        QStyleOptionSlider copy(*bar);
        copy.subControls = bar->subControls & (SC_ScrollBarAddLine | SC_ScrollBarSubLine);
        QProxyStyle::drawComplexControl(CC_ScrollBar, &copy, painter, widget);
        return true;
    }
    const int subBase = horizontal ? 8 : 0;
    const int addBase = horizontal ? 12 : 4;
    DrawSkinPiece(*painter, subControlRect(CC_ScrollBar, bar, SC_ScrollBarSubLine, widget), arrows,
                  subBase + partState(SC_ScrollBarSubLine));
    DrawSkinPiece(*painter, subControlRect(CC_ScrollBar, bar, SC_ScrollBarAddLine, widget), arrows,
                  addBase + partState(SC_ScrollBarAddLine));
    return true;
}

int SkinStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                           const QWidget* widget) const {
    const SkinLook& look = *look_;
    switch (metric) {
    case PM_IndicatorWidth:
        if (!look.checkBox.IsNull())
            return look.checkBox.FrameSize().width();
        break;
    case PM_IndicatorHeight:
        if (!look.checkBox.IsNull())
            return look.checkBox.FrameSize().height();
        break;
    case PM_ExclusiveIndicatorWidth:
        if (!look.radioButton.IsNull())
            return look.radioButton.FrameSize().width();
        break;
    case PM_ExclusiveIndicatorHeight:
        if (!look.radioButton.IsNull())
            return look.radioButton.FrameSize().height();
        break;
    case PM_ScrollBarExtent:
        if (!look.vertScroll.IsNull() && !look.vertThumb.IsNull())
            return std::max(look.vertScroll.FrameSize().width(), 8);
        break;
    default:
        break;
    }
    return QProxyStyle::pixelMetric(metric, option, widget);
}
