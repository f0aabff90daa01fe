// render::Graphics3D: the engine's single rendering context. It owns the
// current camera and light slots, the frame statistics, the registry of
// every vertex and index buffer that holds a GL buffer object (so a lost
// device can drop and rebuild them), the default appearance and the default
// shader program. The GL work itself is done by the one back end,
// OGLES2_Graphics3D; this class holds what is independent of it.
//
// Frame: bindTarget → clear → setCamera / renderSubmesh (or Node::render) →
// releaseTarget (presents through the display).
//
// It also lists every texture it created (device resets), owns the
// batchers that lines and text are collected in, the built-in ROM font and
// the statistics overlay text.
#pragma once
#include "core/Object.h"
#include "core/String.h"
#include "core/Ref.h"
#include "core/Vector.h"
#include "render/Appearance.h"
#include "render/Camera.h"
#include "render/VBOHandle.h"
#include "slm/mat4.h"
#include "slm/vec4.h"

namespace HAL {
class Display;
}

namespace render {

class Appearance;
class Background;
class Batcher;
class Font2DBitmap;
class Light;
class Text3D;
class Texture2D;
class Camera;
class FragmentShader;
class IndexBuffer;
class Mesh;
class RenderTarget;
class ShaderProgram;
class VertexBuffer;
class VertexShader;

// The renderer's part of the engine configuration, copied whole.
struct GraphicsConfig {
    enum Flag {
        STATISTICS_OVERLAY = 0,
        FPS_LOGGING,
        DEFAULT_LIGHT,
        LIGHTING_ALLOWED,
        TEXTURING,
        VERTEX_COLORS,
        BATCH_DEPTH_WRITE,
        BATCH_DEPTH_TEST,
        BATCH_TEXCOORDS,
        BATCH_COLORS,
        UNUSED_10,
        UNUSED_11,
        FLAG_COUNT
    };
    // Context callbacks; null = use the display's GL context operations.
    void (*present)() = nullptr;
    bool (*makeCurrent)() = nullptr;
    bool (*createContext)() = nullptr;
    void (*destroyContext)() = nullptr;
    bool (*queryDisplay)(int) = nullptr;
    int batcherCount = 6;
    // Extra bytes for every dynamic GL buffer, and extra vertices of capacity
    // for every dynamic vertex buffer.
    int spareAmount = 1024;
    int batcherShift = 5;
    unsigned char flags[FLAG_COUNT] = {1, 1, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0};
};

// One light slot as the shaders see it.
struct LightConfig {
    float ambient[4] = {}, diffuse[4] = {}, specular[4] = {};
    float position[4] = {}, direction[4] = {}, spotDirection[4] = {};
    float attenuation[3] = {};
    float spotCutoff = 0.0f, spotExponent = 0.0f;
    int type = 0; // 0 = free, 128 ambient, 129 directional, 130 omni, 131 spot
    slm::mat4 matrix;
    int index = -1; // slot 0..7, -1 = not assigned
    unsigned char dirty = 0;
    unsigned char enabled = 0;
};

class Graphics3D;
// The engine's current renderer (set by the framework), null when none.
Graphics3D* currentGraphics();

class Graphics3D : public core::Object {
public:
    enum { TYPE_OPENGL_ES_1 = 1, TYPE_OPENGL_ES_2 = 2 };
    enum { MAX_LIGHTS = 8, TEXTURE_UNITS = 4 };

    struct Capabilities {
        bool flags[6];
        int maxLights;
        int maxViewportWidth, maxViewportHeight, maxViewportDimension;
        int maxTextureDimension;
        int maxSpriteCropDimension;
        int maxTransformsPerVertex;
        int numTextureUnits;
        float pointSizeMax, pointSizeMin;
    };

    // Per-frame counters (reset by releaseTarget) and buffer-object counters.
    struct Statistics {
        int triangles = 0, cameraSets = 0, buffersUsed = 0, drawCalls = 0, lines = 0, uniformUploads = 0;
        int dynamicVBOs = 0, staticVBOs = 0, vboBytes = 0, vboResizes = 0;
        int batchersCreated = 0;
    };

    virtual ~Graphics3D();

    // ---- the back end's operations ----
    virtual void setDepthRange(float zNear, float zFar) = 0;
    // A forced program overrides every appearance's; null goes back to per-appearance programs.
    virtual void setShaderProgram(ShaderProgram* program) = 0;
    virtual ShaderProgram* getShaderProgram() const = 0;
    virtual ShaderProgram* createNewShaderProgram(VertexShader* vs, FragmentShader* fs, bool validate) = 0;
    virtual void configClass() = 0;
    virtual void present() = 0;
    virtual bool makeCurrent() = 0;
    virtual bool createContext() = 0;
    virtual void destroyContext() = 0;
    // Clears stencil always, depth and colour when asked; colour is ARGB.
    virtual void clearBuffers(unsigned argb, bool depth, bool color) = 0;
    // Draws one submesh: `transform` is the model (world) matrix.
    virtual void renderSubmesh(VertexBuffer* vb, IndexBuffer* ib, Appearance* appearance,
                               const slm::mat4& transform, int scope) = 0;
    virtual void bindTargetFramebuffer() = 0;
    virtual void unbindFramebuffer() = 0;
    // Copies a light record into its slot; null frees all slots.
    virtual void setLight(const LightConfig* light) = 0;
    virtual void onCameraChanged() = 0;
    virtual void setViewportGL(int x, int y, int width, int height) = 0;
    virtual bool queryDisplay(int what) = 0;
    virtual void queryCapabilities() = 0;
    virtual void setDefaults() = 0;
    virtual void copyFramebufferToTexture(unsigned name, int ignored, int width, int height) = 0;
    // Buffer objects. `size` bytes of `data` are uploaded; dynamic kinds
    // allocate the configured spare bytes on top.
    virtual void createVBO(VBOHandle& out, int kind, const void* data, int size) = 0;
    // Writes `size` bytes of `data` + offset at `offset`; past the allocated
    // size the buffer is re-created from data[0 .. offset + size).
    virtual void updateVBO(VBOHandle& handle, int offset, const void* data, int size) = 0;
    virtual void deleteVBO(VBOHandle& handle) = 0;
    // A texture of `kind` (Texture2D::KIND_*) and image format; with a size
    // of at least 1 x 1 it gets a GL texture of that size without pixels.
    virtual Texture2D* createNewTexture(int kind, int format, int width, int height) = 0;
    // The standard program (see StandardProgram): material, lights, texture
    // functions, fog and alpha threshold as the fixed-function pipeline
    // computes them. Built on first use and kept by the renderer; null
    // without a context or a programmable back end.
    virtual ShaderProgram* getStandardProgram() { return nullptr; }

    // ---- frame ----
    void setDisplay(HAL::Display* display) { m_display = display; }
    HAL::Display* getDisplay() const { return m_display; }
    void setConfig(const GraphicsConfig& config) { m_config = config; }
    const GraphicsConfig& getConfig() const { return m_config; }
    int getType() const { return m_type; }
    const char* getTypeName() const;

    // Binds the window (null) as the target; render-to-texture targets come with textures.
    void bindTarget(RenderTarget* target);
    // Counts the frame, unbinds any framebuffer, presents when drawing to the window.
    void releaseTarget();
    // Called by releaseTarget for every frame of the window once it is
    // complete and before it is presented (the back buffer still holds it);
    // null stops it. Frame capture reads the frame here.
    typedef void (*PresentListener)(Graphics3D* g, void* context);
    void setPresentListener(PresentListener listener, void* context) {
        m_presentListener = listener;
        m_presentContext = context;
    }
    // Reads the bound frame's colours, `width` x `height` from the bottom
    // left, as RGBA bytes in rows from the bottom up. false when it cannot.
    virtual bool readPixels(int width, int height, unsigned char* rgba) {
        (void)width;
        (void)height;
        (void)rgba;
        return false;
    }
    bool isTargetBound() const { return m_targetBound; }
    // Clears with the background's colour and switches; null clears colour 0, depth and colour.
    void clear(Background* background);
    // Draws and empties every batcher that holds items or references.
    void flush();
    // Empties every batcher without drawing.
    void clearBatchers();
    // Makes `camera` current with its world transform; null = identity projection and view.
    void setCamera(Camera* camera, const slm::mat4& transform);
    Camera* getCamera() const { return m_camera.get(); }
    void setViewport(int width, int height);
    void getViewport(int out[4]) const;
    void resetLights();
    // Takes a light record into the next free slot (its index is set here)
    // and marks it for upload at the next draw; -1 when all eight slots are
    // taken. The light node class builds the record from its fields.
    int addLightConfig(const LightConfig& light);
    int getLightCount() const { return m_lightCount; }
    // Takes `light` (with `transform` as its world transform) into the next
    // free slot; -1 when all eight are taken (the light is then ignored) or
    // the light is disabled. With lighting switched off it clears all slots.
    int addLight(Light* light, const slm::mat4& transform);
    // The default light (directional, white, along -z): added before a draw
    // when no light, or only one ambient light, was added since resetLights.
    Light* getDefaultLight() const { return m_defaultLight.get(); }
    void addDefaultLightIfNeeded();
    // The scope the node being drawn carries (recorded for the drawable classes).
    void setScope(int scope) { m_scope = scope; }
    int getScope() const { return m_scope; }

    // Rebuilds the renderer; mode 1 (re)creates the GL context and the
    // defaults, any other mode only sets the viewport to the display's size.
    void resetGraphics3D(int mode);
    // Lost device: the first half drops every GL buffer (deleting the GL
    // objects when `canDelete`), the second rebuilds what needs rebuilding
    // now; buffers re-pack on their next draw.
    void resetDevice(bool canDelete);
    void releaseDeviceResources(bool canDelete);
    void restoreDeviceResources();

    // ---- lines and text ----
    // A line in the default batcher, drawn at the next flush (ARGB colour).
    void renderLine(const slm::vec3& from, const slm::vec3& to, unsigned argb);
    // Text with the ROM font. World mode (`world` true): `transform` places
    // the text under the current camera; it is drawn at the next flush.
    // Screen mode: drawn now at the text cursor in pixels (top-left origin),
    // which then moves down one line per line of text.
    void renderText(const core::String& text, bool world, const slm::mat4& transform = slm::mat4());
    // The texture as a quad of its width x height units, lower-left corner at
    // `transform`'s origin, under the current camera, multiplied by the ARGB
    // colour; batched (alpha blending, no depth test) and drawn at the next
    // flush. A texture without a size draws nothing.
    void renderImage(Texture2D* texture, const slm::mat4& transform, unsigned argb);
    Batcher* createNewBatcher(int flags);
    Batcher* getDefaultBatcher() const { return m_defaultBatcher.get(); }
    Batcher* getTextBatcher() const { return m_textBatcher.get(); }
    int getBatcherCount() const { return m_batchers.size(); }
    Batcher* getBatcher(int i) const { return i >= 0 && i < m_batchers.size() ? m_batchers[i].get() : nullptr; }
    Font2DBitmap* getROMFont() const { return m_romFont.get(); }
    // A 1 x 1 white texture: untextured batches sample it so that the default
    // program (texture x colour) shows their colours.
    Texture2D* getWhiteTexture() const { return m_whiteTexture.get(); }
    Text3D* getOverlayText() const { return m_overlayText.get(); }
    // The statistics overlay's text block for the current counters, into `out`
    // (always terminated, cut at `size` - 1 characters).
    void composeStatistics(char* out, int size) const;

    // ---- textures ----
    int getTextureCount() const { return m_textures.size(); }
    Texture2D* getTextureAt(int i) const { return m_textures[i]; }
    // Called by a texture that is being destroyed (the order of the rest stays).
    void removeTexture(Texture2D* texture);

    // ---- factories ----
    VertexBuffer* createNewVertexBuffer(int mode);
    Mesh* createMesh(VertexBuffer* vb, IndexBuffer* ib, Appearance* appearance);
    // A screen-space mesh (dynamic float positions and texture coordinates,
    // a triangle list) with an appearance that blends, does not cull and
    // leaves depth alone: the background image is drawn through it.
    Mesh* create2DPolygonWithDefaultAppearance();
    Mesh* getDefault2DPolygon() const { return m_default2DPolygon.get(); }
    Appearance* getDefaultAppearance() const { return m_defaultAppearance.get(); }

    // ---- buffer-object registry ----
    void registerVertexBuffer(VertexBuffer* owner, int kind, const void* data, int size, VBOHandle& out);
    void registerIndexBuffer(IndexBuffer* owner, int kind, const void* data, int size, VBOHandle& out);
    // Leaves the registry; the buffer is deleted when `deleteGL` (else only forgotten).
    void unregisterVertexBuffer(VertexBuffer* owner, VBOHandle& handle, bool deleteGL);
    void unregisterIndexBuffer(IndexBuffer* owner, VBOHandle& handle, bool deleteGL);
    int getRegisteredVertexBufferCount() const { return m_vertexOwners.size(); }
    int getRegisteredIndexBufferCount() const { return m_indexOwners.size(); }
    int getSpareAmount() const { return m_config.spareAmount; }

    const Statistics& getStatistics() const { return m_stats; }
    Statistics& statistics() { return m_stats; }
    const Capabilities& getCapabilities() const { return m_caps; }
    int getFPS() const { return m_fps; }
    int getFrameCount() const { return m_framesThisSecond; }
    bool isLightingEnabled() const { return m_lightingEnabled; }
    void setLightingEnabled(bool on) { m_lightingEnabled = on; }

    const slm::mat4& getProjectionMatrix() const { return m_projection; }
    const slm::mat4& getViewMatrix() const { return m_view; }
    const slm::mat4& getCameraTransform() const { return m_cameraTransform; }

protected:
    Graphics3D(int type);
    // Capability defaults, queries and GL defaults of the back-end layer.
    virtual void setGraphics3DDefaults() = 0;
    // Forgets every registered buffer (the context is going away).
    void detachAllBuffers();
    // Called at the end of a frame with the time in milliseconds.
    void countFrame(unsigned nowMs);
    void drawStatisticsOverlay();
    // Draws the background's image over the cleared frame (see Background).
    void drawBackgroundImage(Background* background);
    // Drops the batchers, the font and the overlay text (before the context goes).
    void releaseTextObjects();
    // Forgets every listed texture (the renderer is going away).
    void detachAllTextures();
    void addTexture(Texture2D* texture) { m_textures.append(texture); }

    int m_type;
    Capabilities m_caps;
    Statistics m_stats;
    GraphicsConfig m_config;
    HAL::Display* m_display;
    bool m_lightingEnabled;
    bool m_recreateContext;
    bool m_targetBound;
    bool m_presented;
    core::Vector<IndexBuffer*> m_indexOwners;
    core::Vector<VertexBuffer*> m_vertexOwners;
    core::Vector<Texture2D*> m_textures;
    core::Ref<Batcher> m_defaultBatcher;
    core::Ref<Batcher> m_textBatcher;
    core::Ref<Batcher> m_imageBatcher; // made by the first renderImage
    core::Vector<core::Ref<Batcher>> m_batchers;
    core::Ref<Font2DBitmap> m_romFont;
    core::Ref<Texture2D> m_whiteTexture;
    core::Ref<Light> m_defaultLight;
    core::Ref<Text3D> m_overlayText;
    // The overlay's text, rebuilt in place each frame (see drawStatisticsOverlay).
    core::String m_statisticsText;
    slm::vec4 m_textCursor;

    slm::mat4 m_cameraTransform;
    slm::mat4 m_view;
    slm::mat4 m_projection;
    slm::mat4 m_model;
    slm::mat4 m_positionDecode;
    slm::mat4 m_textureMatrices[TEXTURE_UNITS];
    int m_textureMatrixCount;

    core::Ref<Camera> m_camera;
    LightConfig m_lightConfigs[MAX_LIGHTS];
    int m_defaultLightIndex;
    int m_lightCount;
    core::Ref<Appearance> m_defaultAppearance;
    core::Ref<Mesh> m_default2DPolygon;
    // What the 2D polygon's vertices were last built for (image size, crop, modes).
    int m_polygonKey[8];
    RenderTarget* m_target;
    PresentListener m_presentListener = nullptr;
    void* m_presentContext = nullptr;

    unsigned m_lastSecondMs;
    int m_framesThisSecond;
    int m_fps;
    int m_viewport[4];
    int m_scope;
};

} // namespace render
