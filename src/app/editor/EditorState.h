#pragma once

#include "pipeline/Image.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QUuid>
#include <optional>

namespace lumora {

/// The editor's modes, in toolbar order.
enum class DrawingMode { rectangle, freehand, whiteFill, arrow, text, crop, freisteller };

enum class RectCorner { topLeft, topRight, bottomLeft, bottomRight };
enum class RectEdge { top, right, bottom, left };

/// What a drag on the rectangle being edited does; chosen once when the drag starts.
struct RectDragMode {
    enum class Kind { moveCorner, moveEdge, drawNew, moveAll };
    Kind kind = Kind::drawNew;
    RectCorner corner = RectCorner::topLeft; ///< for moveCorner
    RectEdge edge = RectEdge::top;           ///< for moveEdge

    [[nodiscard]] static RectDragMode moveCorner(RectCorner c) { return {Kind::moveCorner, c, RectEdge::top}; }
    [[nodiscard]] static RectDragMode moveEdge(RectEdge e) { return {Kind::moveEdge, RectCorner::topLeft, e}; }
    [[nodiscard]] static RectDragMode drawNew() { return {Kind::drawNew}; }
    [[nodiscard]] static RectDragMode moveAll() { return {Kind::moveAll}; }
    friend bool operator==(const RectDragMode&, const RectDragMode&) = default;
};

/// What a drag on the arrow being edited does; `offset` (moveAll) is the grab point minus the
/// shaft's midpoint.
struct ArrowDragMode {
    enum class Kind { moveAll, drawNew, moveStart, moveEnd };
    Kind kind = Kind::drawNew;
    QSizeF offset;
    friend bool operator==(const ArrowDragMode&, const ArrowDragMode&) = default;
};

enum class CropDragModus { keiner, neuAufziehen, verschieben };

/// Everything the editor sheet remembers while it is open; discarded when it closes. Points and
/// rectangles are canvas points (origin top-left, y down); widths are canvas points too.
struct EditorState {
    // rectangle
    std::optional<QRectF> drawingRect;
    QPointF viewDragStart;
    QString rectColorHex = QStringLiteral("#FFFFFF");
    std::optional<QRectF> editingRect;
    std::optional<RectDragMode> rectDragMode;
    QRectF rectDragStartFrame;
    QPointF rectDragStartPoint;
    // freehand
    QList<QPointF> freehandPoints;
    QList<QList<QPointF>> freehandPaths; ///< lines committed since the editor opened
    /// Colour and width (canvas points) each of `freehandPaths` was committed with, so the canvas
    /// draws it as it was drawn after the options change. Kept in step with `freehandPaths`.
    QList<std::pair<QString, double>> freehandPathLooks;
    double freehandLineWidth = 5;
    QString freehandColorHex = QStringLiteral("#FF3B30");
    // fill
    QList<QPointF> whiteFillPoints;
    QString fillColorHex = QStringLiteral("#FFFFFFFF");
    // arrow
    std::optional<QPointF> arrowStart;
    QPointF arrowCurrent;
    double arrowLineWidth = 12;
    std::optional<QPointF> editingArrowStart;
    QPointF editingArrowEnd;
    QString arrowColorHex = QStringLiteral("#FF3B30");
    std::optional<ArrowDragMode> arrowDragMode;
    // canvas
    QSizeF lastKnownViewSize{0, 0};
    // text
    std::optional<QUuid> selectedTextID;
    std::optional<QUuid> editingTextID;
    QString editingTextValue;
    double textFontSize = 24;
    QString textColorHex = QStringLiteral("#FFFFFF");
    bool textHasBackground = true;
    bool isTextFieldFocused = false;
    // preview
    std::optional<QImage> editorPreview;
    // crop
    std::optional<QRectF> cropRect;
    QPointF cropDragStart;
    QRectF cropDragStartFrame;
    CropDragModus cropAktiverDragModus = CropDragModus::keiner;
    bool showingCropAlert = false;
    QString cropAlertMessage;
    bool isCropping = false;
    QString cropMassBreite;
    QString cropMassHoehe;
    bool zeigeCropBestaetigung = false;
    bool cropAlsBatch = false;
    std::optional<QRectF> cropPendingViewRect;
    QSizeF cropPendingGeoSize{0, 0};
    // background removal
    std::optional<QImage> freistellerMaske;
    std::optional<Image> freistellerOriginalCI; ///< the photo's filteredCI when the mode started
    QColor freistellerFarbe = Qt::white;
    bool freistellerTransparent = false;
    std::optional<Image> freistellerHintergrundBild;
    bool freistellerLaeuft = false;
    std::optional<QString> freistellerFehler;
    bool isFreistellerAnwenden = false;
    // closing and guard
    bool wartenAufSchliessen = false;
    bool zeigeFreistellerWechselDialog = false;
    std::optional<DrawingMode> geplanterModusWechsel;
    // mode
    DrawingMode drawingMode = DrawingMode::rectangle;
};

/// The common end of a drag in every mode but crop: the shapes being dragged out are dropped.
void clearDragInProgress(EditorState& state);

} // namespace lumora
