// render::OGLES2_Graphics3D: the renderer's one concrete back end, drawing
// through GLSL programs with the m3g_ attribute and uniform names on desktop
// OpenGL 2.1. Every GL state setter compares with a cached value and calls GL
// only on a change; every call that reaches the driver is counted
// (GLCallCounters). Deleted GL names are forgotten by every cache that holds
// them, and invalidateStateCache() re-synchronises after a new context.
#pragma once
#include "render/OGLES_Graphics3D.h"
#include "render/ShaderProgram.h"

namespace render {

class CompositingMode;
class PolygonMode;

class OGLES2_Graphics3D : public OGLES_Graphics3D {
public:
    enum { FEATURE_COUNT = 10, TEXTURE_BINDINGS = 10, MAX_ATTRIBS = 16 };
    // Indices of the feature table (m3g_featuresFlags).
    enum {
        FEATURE_FOG = 0,
        FEATURE_TEXTURING = 1,
        FEATURE_TEXTURE0 = 2,
        FEATURE_LIGHTS = 6,
        FEATURE_VERTEX_COLORS = 7,
        FEATURE_MATERIAL_TRACKING = 8,
        FEATURE_POINT_SPRITE = 9
    };

    OGLES2_Graphics3D();
    virtual ~OGLES2_Graphics3D();

    virtual void setDepthRange(float zNear, float zFar);
    virtual void setShaderProgram(ShaderProgram* program);
    virtual ShaderProgram* getShaderProgram() const { return m_forcedProgram.get(); }
    virtual ShaderProgram* createNewShaderProgram(VertexShader* vs, FragmentShader* fs, bool validate);
    virtual void present();
    virtual bool readPixels(int width, int height, unsigned char* rgba);
    virtual bool makeCurrent();
    virtual bool createContext();
    virtual void destroyContext();
    virtual void clearBuffers(unsigned argb, bool depth, bool color);
    virtual void renderSubmesh(VertexBuffer* vb, IndexBuffer* ib, Appearance* appearance,
                               const slm::mat4& transform, int scope);
    virtual void bindTargetFramebuffer();
    virtual void unbindFramebuffer();
    virtual void setLight(const LightConfig* light);
    virtual void onCameraChanged();
    virtual void setViewportGL(int x, int y, int width, int height);
    virtual bool queryDisplay(int what);
    virtual void queryCapabilities();
    virtual void setDefaults();
    virtual void copyFramebufferToTexture(unsigned name, int ignored, int width, int height);
    virtual void createVBO(VBOHandle& out, int kind, const void* data, int size);
    virtual void updateVBO(VBOHandle& handle, int offset, const void* data, int size);
    virtual void deleteVBO(VBOHandle& handle);

    virtual void bindVBO(const VBOHandle& handle, bool bind);
    virtual void setPositions(VertexArray* array, int offset);
    virtual void setColors(VertexArray* array, unsigned defaultColor, int offset);
    virtual void setNormals(VertexArray* array, int offset);
    virtual void setTexCoords(int unit, VertexArray* array, int offset);
    virtual void drawIndexed(IndexBuffer* ib);
    virtual void uploadMatrices();
    virtual void resetDrawState();
    virtual int glTypeForComponentSize(int bytes);
    virtual void setMaterial(Material* material);
    virtual void setAlphaThreshold(float threshold);
    virtual void setShading(int mode);
    virtual void setCulling(int mode);
    virtual void setTwoSidedLighting(bool on);
    virtual void setPerspectiveCorrection(bool on);
    virtual void setWinding(int mode);
    virtual void setLineWidth(float width);
    virtual void setBlending(int mode);
    virtual void setColorMaskAndOffset(float factor, float units, bool colorWrite, bool alphaWrite);
    virtual void setDepth(bool write, bool test, int func);
    virtual void setStencil(bool enable, int func, int ref, unsigned mask, int sfail, int zfail, int zpass);
    virtual void bindTexture(int unit, unsigned name);
    virtual Texture2D* createNewTexture(int kind, int format, int width, int height);
    // Uploads the unit's blending function and blend colour for `texture`.
    virtual void setTextureBlend(Texture2D* texture, int unit);
    // Null switches fog off for the draw; otherwise uploads its uniforms.
    virtual void setFog(Fog* fog);
    virtual void setVertexColor(unsigned argb);

    // The default program (built from the built-in bodies, or from the forced
    // program's shaders when one is set).
    void createDefaultShaderProgram();
    ShaderProgram* getDefaultShaderProgram() const { return m_defaultProgram.get(); }
    virtual ShaderProgram* getStandardProgram();
    ShaderProgram* getCurrentProgram() const { return m_currentProgram.get(); }
    // Linked programs alive now, the default one included: each costs start-up
    // time on a software renderer.
    int getProgramCount() const { return m_programs.size(); }

    // ---- for Shader and ShaderProgram: every GL call they need ----
    enum ShaderStage { VERTEX_STAGE, FRAGMENT_STAGE };
    // Whether a context has loaded the shader entry points.
    static bool shadersAvailable();
    // A new shader object of `stage` (logged with `kindName`).
    static unsigned createShader(ShaderStage stage, const char* kindName);
    // Compiles `text` into shader `name`; on failure the driver's message is
    // logged ("ShaderError : ...") and the shader deleted.
    static bool compileShader(unsigned name, const char* text);
    static void deleteShader(unsigned name);
    // A program linked from the two shaders, or 0 after a failure (the
    // linker's message logged as "Linker ShaderProgramError : ...").
    static unsigned linkProgram(unsigned vertexShader, unsigned fragmentShader);
    static void detachShader(unsigned program, unsigned shader);
    // Deletes the GL object only; a renderer that may have the name in use
    // must also be told (forgetProgram).
    static void deleteProgram(unsigned program);
    static int uniformLocation(unsigned program, const char* name);
    static int attribLocation(unsigned program, const char* name);
    static void validateProgram(unsigned program);
    // Uniform uploads to `program`, made current through the cache. The
    // callers keep the per-location value caches; each call reaches GL.
    void uploadUniform(unsigned program, int location, int v);
    void uploadUniform(unsigned program, int location, float v);
    void uploadUniform(unsigned program, int location, const slm::vec3& v);
    void uploadUniform(unsigned program, int location, const slm::vec4& v);
    void uploadUniform(unsigned program, int location, const slm::mat4& m);
    void uploadUniformArray(unsigned program, int location, int count, const float* values);
    unsigned getProgramInUse() const { return m_programInUse; }
    // Deleting the program in use leaves GL on it: the cache points GL at none.
    void forgetProgram(unsigned name);
    // A texture's own GL work: binds `name` on unit 0 (through the cache).
    void bindTextureForUpdate(unsigned name);
    // A deleted texture name leaves every binding cache entry.
    void forgetTexture(unsigned name);

    void addProgram(ShaderProgram* p);
    void removeProgram(ShaderProgram* p);

    bool hasContext() const { return m_contextCreated; }
    // Forgets every cached GL state so the next setter of each reaches GL.
    void invalidateStateCache();
    const float* getFeatures() const { return m_features; }
    bool isDepthWriteCached() const { return m_depthMask == 1; }

private:
    void countUniformUpload() { ++m_stats.uniformUploads; }
    void useProgram(ShaderProgram* program);
    // glUseProgram, only when `name` is not the program in use.
    void bindProgram(unsigned name);
    // glActiveTexture / glClientActiveTexture, only when the unit changes.
    void selectTextureUnit(int unit);
    // glBindTexture on `unit`, only when another name is bound there.
    void bindTextureUnit(int unit, unsigned name);
    void setDepthMask(bool write);
    void setDepthFunc(int func);
    // Point sprites (with coordinate replacement) on at `size` pixels, or off.
    void setPointSprites(bool on, float size);
    void enableCap(unsigned cap, int& cache, bool on);
    void bindBuffer(unsigned target, int name);
    void attribPointer(int location, int size, unsigned type, bool normalized, int offset);
    void syncAttribArrays();
    void bindVertexArrays(VertexBuffer* vb, Appearance* appearance, ShaderProgram* program);
    void applyAppearance(Appearance* appearance);
    bool lightingOn() const;
    void sendDirtyLights();
    void uploadLights();
    void applyPolygonMode(PolygonMode* p);
    void applyCompositingMode(CompositingMode* c);

    struct AttribState {
        int buffer, size, offset;
        unsigned type;
        bool normalized;
        bool known;
    };

    core::Ref<ShaderProgram> m_forcedProgram;
    core::Ref<ShaderProgram> m_defaultProgram;
    core::Ref<ShaderProgram> m_standardProgram;
    core::Ref<ShaderProgram> m_currentProgram;
    unsigned m_programInUse;
    float m_pointSize;
    int m_lightsVersion;
    LightConfig m_lightSlots[MAX_LIGHTS];
    float m_features[FEATURE_COUNT];
    core::Vector<ShaderProgram*> m_programs;
    bool m_contextCreated;

    // Appearance components last applied, with their counters.
    Material* m_lastMaterial;
    int m_lastMaterialCounter;
    unsigned m_lastMaterialProgram;
    PolygonMode* m_lastPolygonMode;
    int m_lastPolygonModeCounter;
    CompositingMode* m_lastCompositingMode;
    int m_lastCompositingModeCounter;
    unsigned m_lastCompositingProgram;
    Appearance* m_lastAppearance;

    // GL state caches; -1 = unknown.
    unsigned m_clearColor;
    bool m_clearColorKnown;
    int m_depthFunc, m_depthMask, m_depthTest;
    int m_colorWrite, m_alphaWrite;
    int m_polygonOffset;
    float m_offsetFactor, m_offsetUnits; // known while m_polygonOffset is 1
    bool m_stencilKnown;
    int m_stencilFunc, m_stencilRef, m_stencilFail, m_stencilZFail, m_stencilZPass;
    unsigned m_stencilMask;
    int m_pointSpriteEnabled;
    float m_pointSizeSet; // -1: unknown
    int m_viewportGL[4];
    bool m_viewportKnown;
    int m_cullEnabled, m_cullFace, m_frontFace;
    float m_lineWidth;
    int m_blendEnabled, m_blendSrc, m_blendDst;
    int m_stencilEnabled, m_texture2DEnabled;
    int m_activeTexture;
    int m_textureBindings[TEXTURE_BINDINGS];
    int m_arrayBuffer, m_elementBuffer;
    float m_depthNear, m_depthFar;
    bool m_depthRangeKnown;
    unsigned m_enabledAttribs;
    bool m_enabledAttribsKnown;
    unsigned m_drawAttribs;
    AttribState m_attribs[MAX_ATTRIBS];
    slm::mat4 m_viewProjection;
};

} // namespace render
