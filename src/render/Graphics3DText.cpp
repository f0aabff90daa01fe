// Graphics3D: lines, text and images in the batchers, screen-mode text at
// the text cursor, and the statistics overlay drawn at the end of each frame.
#include "render/Graphics3D.h"
#include "core/EngineGlobals.h"
#include "core/MemoryManager.h"
#include "render/Batcher.h"
#include "render/Font2DBitmap.h"
#include "render/Text3D.h"
#include <cstdio>
#include <cstring>

namespace render {

namespace {
// Room for the overlay's lines (each under 256 characters).
const int STATISTICS_TEXT_SIZE = 4096;
} // namespace

void Graphics3D::renderLine(const slm::vec3& from, const slm::vec3& to, unsigned argb) {
    if (m_defaultBatcher) m_defaultBatcher->addLine(from, to, argb);
}

void Graphics3D::renderImage(Texture2D* texture, const slm::mat4& transform, unsigned argb) {
    if (!texture || texture->getWidth() <= 0 || texture->getHeight() <= 0) return;
    if (!m_imageBatcher) m_imageBatcher = createNewBatcher(Batcher::TEXCOORDS | Batcher::COLORS);
    Batcher* b = m_imageBatcher.get();
    // A batch has one texture: images of another texture go out first, so
    // the order of the calls is the order on screen.
    if (b->hasItems() && b->getTexture() != texture) {
        b->render(*this, slm::mat4(), 0);
        ++m_stats.buffersUsed;
        b->clear();
    }
    if (!b->beginQuads(1)) return;
    b->setTexture(texture);
    b->setTexCoordScale(1.0f);
    float w = (float)texture->getWidth(), h = (float)texture->getHeight();
    const float local[4][2] = {{0.0f, 0.0f}, {w, 0.0f}, {w, h}, {0.0f, h}};
    float corners[4][3];
    for (int k = 0; k < 4; ++k) {
        slm::vec4 p = transform * slm::vec4(local[k][0], local[k][1], 0.0f, 1.0f);
        float inv = p.w != 0.0f ? 1.0f / p.w : 1.0f;
        corners[k][0] = p.x * inv;
        corners[k][1] = p.y * inv;
        corners[k][2] = p.z * inv;
    }
    // An image's rows are stored top first, so v = 0 is its top edge; a
    // render target's first row is the bottom of the picture drawn into it.
    bool upright = texture->getKind() == Texture2D::KIND_RENDER_TARGET;
    short top = upright ? 1 : 0, bottom = upright ? 0 : 1;
    const short uv[4][2] = {{0, bottom}, {1, bottom}, {1, top}, {0, top}};
    b->addQuad(corners, uv, argb);
}

void Graphics3D::renderText(const core::String& text, bool world, const slm::mat4& transform) {
    if (!m_overlayText || !m_romFont || !m_textBatcher) return;
    m_overlayText->setText(text);
    if (world) {
        m_overlayText->render(*this, transform, 0xFFFF);
        return;
    }
    // Screen mode: pixels from the top-left corner, drawn now under an
    // identity camera so that the camera in use does not move it.
    core::Ref<Camera> saved = m_camera;
    slm::mat4 savedTransform = m_cameraTransform;
    bool lighting = m_lightingEnabled;
    // What the batcher collected under the scene camera goes out first.
    if (m_textBatcher->hasItems()) {
        m_textBatcher->render(*this, slm::mat4(), 0);
        ++m_stats.buffersUsed;
        m_textBatcher->clear();
    }
    setCamera(nullptr, slm::mat4());
    m_lightingEnabled = false;
    float w = m_viewport[2] > 0 ? (float)m_viewport[2] : 1.0f;
    float h = m_viewport[3] > 0 ? (float)m_viewport[3] : 1.0f;
    slm::mat4 place = slm::translation(slm::vec3(-1.0f + 2.0f * m_textCursor.x / w, 1.0f - 2.0f * m_textCursor.y / h, 0.0f)) *
                      slm::scale(slm::vec3(2.0f / w, 2.0f / h, 1.0f));
    m_overlayText->render(*this, place, 0xFFFF);
    if (m_textBatcher->hasItems()) {
        m_textBatcher->render(*this, slm::mat4(), 0);
        ++m_stats.buffersUsed;
    }
    m_textBatcher->clear();
    int lines = 1;
    for (int i = 0; i < text.length(); ++i)
        if (text.c_str()[i] == 10) ++lines;
    float lineHeight = (float)m_romFont->getLineHeight() * m_overlayText->getLayoutScaleY();
    m_textCursor.y += (lineHeight < 0 ? -lineHeight : lineHeight) * (float)lines;
    m_lightingEnabled = lighting;
    m_camera = saved;
    setCamera(saved.get(), savedTransform);
}

// Composed into a caller's buffer, not a core::String: the overlay is drawn
// every frame, and the pool's counters it shows would move with each
// temporary string built here.
void Graphics3D::composeStatistics(char* out, int size) const {
    if (size < 1) return;
    out[0] = 0;
    int used = 0;
    char line[256];
    auto add = [&](int n) {
        if (n <= 0) return;
        int room = size - 1 - used;
        int take = n < (int)sizeof line - 1 ? n : (int)sizeof line - 1;
        if (take > room) take = room;
        std::memcpy(out + used, line, take);
        used += take;
        out[used] = 0;
    };
    if (m_type == TYPE_OPENGL_ES_2) add(std::snprintf(line, sizeof line, "SHADER UNIFORMS : %d\n", m_stats.uniformUploads));
    core::EngineGlobals* globals = core::engineGlobals();
    MemoryManager* mm = globals ? globals->memoryManager : nullptr;
    if (mm && !mm->isDisabled()) {
        long long pool = mm->getUsableSize() > 0 ? mm->getUsableSize() : 1;
        add(std::snprintf(line, sizeof line, "VBODYN/STA/SIZE/RESIZECOUNT : %i/%i/%i/%i\n", m_stats.dynamicVBOs,
                          m_stats.staticVBOs, m_stats.vboBytes, m_stats.vboResizes));
        add(std::snprintf(line, sizeof line, "ALLOC BLKS/CNT  : %d/%d\n", mm->getLiveAllocations(),
                          mm->getTotalAllocations()));
        add(std::snprintf(line, sizeof line, "MEMORY PEAK     : %i BYTES : %i PERCENT\n", mm->getPeakUsedBytes(),
                          (int)(mm->getPeakUsedBytes() * 100LL / pool)));
        add(std::snprintf(line, sizeof line, "MEMORY USED     : %i / %d BYTES : %i PERCENT\n", mm->getUsedBytes(),
                          mm->getUsableSize(), (int)(mm->getUsedBytes() * 100LL / pool)));
    } else {
        add(std::snprintf(line, sizeof line, "MEMORY MANAGER DISABLED\n"));
    }
    add(std::snprintf(line, sizeof line, "DRAW CALLS      : %i\n", m_stats.drawCalls));
    add(std::snprintf(line, sizeof line, "FPS             : %i\n", m_fps));
    add(std::snprintf(line, sizeof line, "CAMERA POSITION : %.2f %.2f %.2f\n", m_cameraTransform.m[12],
                      m_cameraTransform.m[13], m_cameraTransform.m[14]));
    add(std::snprintf(line, sizeof line, "LIGHTS COUNT    : %i\n", m_lightCount));
    add(std::snprintf(line, sizeof line, "CAMERA SET COUNT: %i\n", m_stats.cameraSets));
    add(std::snprintf(line, sizeof line, "TRIANGLES/LINES : %i/%i\n", m_stats.triangles, m_stats.lines));
    add(std::snprintf(line, sizeof line, "BUFFERS USED    : %i/%i\n", m_stats.buffersUsed, m_stats.batchersCreated));
    add(std::snprintf(line, sizeof line, "GRAPHICS3D      : %s (%s) (%s)\n", getTypeName(), "Apr 14 2011",
                      "MORVA3D_1_26_20110412"));
}

void Graphics3D::drawStatisticsOverlay() {
    if (!m_romFont || !m_overlayText) return;
    char text[STATISTICS_TEXT_SIZE];
    composeStatistics(text, sizeof text);
    int lines = 0;
    for (const char* c = text; *c; ++c)
        if (*c == 10) ++lines;
    m_textCursor.y += (float)m_romFont->getLineHeight() * (float)(lines + 7);
    // The overlay text lets go of last frame's string so that this one is its
    // element's only holder and is refilled in place.
    m_overlayText->setText(core::String());
    m_statisticsText.assignReusing(text);
    renderText(m_statisticsText, false);
}

} // namespace render
