#include "render/Background.h"
#include "core/Exceptions.h"
#include "render/Graphics3D.h"

namespace render {

Background::Background()
    : m_color(0), m_modeX(BORDER), m_modeY(BORDER), m_cropX(0), m_cropY(0), m_cropWidth(0), m_cropHeight(0),
      m_depthClearEnabled(true), m_colorClearEnabled(true) {}

// The copy shares the image and the texture made from it.
Background::Background(const Background& o)
    : Object3D(o), m_image(o.m_image), m_texture(o.m_texture), m_color(o.m_color), m_modeX(o.m_modeX),
      m_modeY(o.m_modeY), m_cropX(o.m_cropX), m_cropY(o.m_cropY), m_cropWidth(o.m_cropWidth),
      m_cropHeight(o.m_cropHeight), m_depthClearEnabled(o.m_depthClearEnabled),
      m_colorClearEnabled(o.m_colorClearEnabled) {}

Background::~Background() {}

Object3D* Background::duplicate() const {
    return M3D_NEW Background(*this);
}

void Background::setImage(Image2D* image) {
    if (image && Image2D::bytesPerPixel(image->getFormat()) == 0)
        throw Morva3DException("Background image format is not supported");
    if (image != m_image.get()) m_texture.release();
    m_image = image;
    m_cropX = m_cropY = 0;
    m_cropWidth = image ? image->getWidth() : 0;
    m_cropHeight = image ? image->getHeight() : 0;
}

void Background::setImageMode(int modeX, int modeY) {
    if ((modeX != BORDER && modeX != REPEAT) || (modeY != BORDER && modeY != REPEAT))
        throw Morva3DException("Background image mode must be BORDER (32) or REPEAT (33)");
    m_modeX = modeX;
    m_modeY = modeY;
}

void Background::setCrop(int x, int y, int width, int height) {
    if (width < 0 || height < 0)
        throw Morva3DException("Background crop width and height must not be negative");
    m_cropX = x;
    m_cropY = y;
    m_cropWidth = width;
    m_cropHeight = height;
}

Texture2D* Background::getImageTexture(Graphics3D& g) {
    if (!m_image) return nullptr;
    if (m_texture && m_texture->getOwner() == &g) return m_texture.get();
    m_texture.release();
    core::Ref<Texture2D> t(g.createNewTexture(Texture2D::KIND_TEXTURE, m_image->getFormat(), -1, -1));
    // Nearest texels: a crop the size of the viewport shows the image's
    // pixels as they are.
    t->setFiltering(Texture2D::FILTER_BASE_LEVEL, Texture2D::FILTER_NEAREST);
    t->setWrapping(Texture2D::WRAP_CLAMP, Texture2D::WRAP_CLAMP);
    t->setImage(m_image.get());
    m_texture = t;
    return m_texture.get();
}

void Background::appendReferences(core::Vector<Object3D*>& out) const {
    if (m_image) out.append(m_image.get());
}

} // namespace render
