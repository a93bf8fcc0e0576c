#include "SkinPaintSupport.h"

#include "skin/format/SkinPackage.h"

#include <QBuffer>
#include <QPainter>

#include <string>

namespace skintest {

QColor EdgeColour(int seed, int frame) {
    return QColor((seed * 37) % 256, (frame * 40 + 20) % 256, 60);
}

QColor CentreColour(int seed, int frame) {
    return QColor((seed * 37) % 256, (frame * 40 + 20) % 256, 160);
}

QImage FramedImage(int seed, int frames, QSize frameSize, int edge) {
    QImage image(frameSize.width() * frames, frameSize.height(), QImage::Format_RGB32);
    QPainter painter(&image);
    for (int frame = 0; frame < frames; ++frame) {
        const QRect whole(frame * frameSize.width(), 0, frameSize.width(), frameSize.height());
        painter.fillRect(whole, EdgeColour(seed, frame));
        painter.fillRect(whole.adjusted(edge, edge, -edge, -edge), CentreColour(seed, frame));
    }
    return image;
}

namespace {

struct ImageRecipe {
    Seed seed;
    const char* file;
    int frames;
    QSize size;
};

const ImageRecipe kImages[] = {
    {kButton, "button.bmp", 5, {20, 20}},      {kCheck, "check.bmp", 8, {13, 13}},
    {kRadio, "radio.bmp", 8, {13, 13}},        {kGroupBox, "group.bmp", 2, {12, 12}},
    {kStatusBar, "status.bmp", 3, {12, 12}},   {kHorzScroll, "hscroll.bmp", 4, {16, 16}},
    {kVertScroll, "vscroll.bmp", 4, {16, 16}}, {kHorzThumb, "hthumb.bmp", 3, {16, 16}},
    {kVertThumb, "vthumb.bmp", 3, {16, 16}},   {kArrows, "arrows.bmp", 23, {16, 16}},
    {kProgress, "progress.bmp", 2, {12, 12}},  {kHeader, "header.bmp", 5, {12, 12}},
    {kMenuItem, "menuitem.bmp", 5, {12, 12}},  {kMenuBackground, "menubg.bmp", 1, {12, 12}},
};

QImage ImageOf(const ImageRecipe& recipe) {
    return FramedImage(recipe.seed, recipe.frames, recipe.size, kEdge);
}

SkinPiece Piece(const ImageRecipe& recipe) {
    SkinPiece piece;
    piece.image = PrepareSkinImage(ImageOf(recipe), false);
    piece.frames = recipe.frames;
    piece.edges = QMargins(kEdge, kEdge, kEdge, kEdge);
    piece.textColours = {kButtonText, kButtonText, kButtonText};
    return piece;
}

std::vector<std::uint8_t> BmpBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.convertToFormat(QImage::Format_RGB888).save(&buffer, "BMP");
    return {bytes.begin(), bytes.end()};
}

std::vector<std::uint8_t> TextBytes(const std::string& text) {
    return {text.begin(), text.end()};
}

std::string Rgb(const QColor& colour) {
    return std::to_string(colour.red()) + "," + std::to_string(colour.green()) + "," +
           std::to_string(colour.blue());
}

std::string Element(const char* section, const char* key, const char* file) {
    return std::string("[") + section + "]\r\n" + key + "=" + file +
           "\r\nLeftWidth=3\r\nTopHeight=3\r\nRightWidth=3\r\nBottomHeight=3\r\n";
}

} // namespace

SkinLook TestLook() {
    SkinLook look;
    look.palette.setColor(QPalette::Window, kButtonFace);
    look.palette.setColor(QPalette::Button, kButtonFace);
    look.menuPalette.setColor(QPalette::Window, kMenuColour);
    SkinPiece* pieces[] = {&look.button,    &look.checkBox,      &look.radioButton, &look.groupBox,
                           &look.statusBar, &look.horzScroll,    &look.vertScroll,  &look.horzThumb,
                           &look.vertThumb, &look.scrollArrows,  &look.progress,    &look.header,
                           &look.menuItem,  &look.menuBackground};
    for (std::size_t i = 0; i < std::size(kImages); ++i)
        *pieces[i] = Piece(kImages[i]);
    look.checkBox.edges = look.radioButton.edges = QMargins();
    return look;
}

std::vector<std::uint8_t> TestSkinStream() {
    std::string ini =
        "[TitlebarSkin]\r\nSkinName=Test\r\n[Colours]\r\nButtonFace=" + Rgb(kButtonFace) +
        "\r\nMenu=" + Rgb(kMenuColour) + "\r\nButtonText=" + Rgb(kButtonText) + "\r\n";
    ini += Element("Buttons", "Bitmap", "button.bmp") +
           "CheckButton=check.bmp\r\nRadioButton=radio.bmp\r\n";
    ini += Element("GroupBoxEdge", "Image", "group.bmp");
    ini += Element("StatusBarEdges", "Image", "status.bmp");
    ini += Element("HorzScroll", "Image", "hscroll.bmp");
    ini += Element("VertScroll", "Image", "vscroll.bmp");
    ini += Element("HorzScrollThumb", "Image", "hthumb.bmp");
    ini += Element("VertScrollThumb", "Image", "vthumb.bmp");
    ini += Element("Scrollbar", "Image", "arrows.bmp");
    ini += Element("Progress", "Bitmap", "progress.bmp");
    ini += Element("Headerbar", "Image", "header.bmp");
    ini += Element("MenuItem", "Image", "menuitem.bmp");
    ini += Element("MenuBackground", "Image", "menubg.bmp");

    std::vector<TSkinPackageEntry> entries{{"skin.ini", TextBytes(ini)}};
    for (const ImageRecipe& recipe : kImages)
        entries.push_back({recipe.file, BmpBytes(ImageOf(recipe))});
    return MakeSkinStream(BuildPackage(entries));
}

} // namespace skintest
