// render::ShaderProgram: a linked vertex + fragment shader pair with the
// locations of every m3g_ attribute and uniform resolved once, and uniform
// setters that keep a per-location cache so an unchanged value never reaches
// GL. A link failure logs the linker's message and throws ShaderException
// "ShaderProgram error linking failed". Attributes or uniforms the program
// does not use have location -1 and every upload for them is skipped.
#pragma once
#include "render/Shader.h"
#include "slm/mat4.h"
#include "slm/vec4.h"

namespace render {

class Graphics3D;
class OGLES2_Graphics3D;

class ShaderProgram : public Object3D {
public:
    // Indices into the location table.
    enum {
        POSITION = 0,
        NORMAL = 1,
        TEXCOORD0 = 2, // .. 5
        FEATURES_FLAGS = 6,
        COLOR = 7,
        TEXTURE0 = 8, // .. 11
        MODEL_VIEW_PROJECTION = 12,
        MODEL_VIEW = 13,
        TEXTURE_MATRIX0 = 14, // .. 17
        NORMAL_MATRIX = 18,
        VERTEX_COLOR = 19,
        ALPHA_THRESHOLD = 20,
        TEXTURE_BLENDING_MODE0 = 21, // .. 24
        TEXTURE_BLEND_COLOR0 = 25,   // .. 28
        MATERIAL_SHININESS = 29,
        MATERIAL_AMBIENT = 30,
        MATERIAL_DIFFUSE = 31,
        MATERIAL_SPECULAR = 32,
        MATERIAL_EMISSIVE = 33,
        FOG_MODE = 34,
        FOG_COLOR = 35,
        FOG_DENSITY = 36,
        FOG_NEAR = 37,
        FOG_FAR = 38,
        // Not in the built-in header: a program that declares them gets the
        // model matrix with the position decode (positions to world space)
        // and the camera's view matrix (world to eye space).
        WORLD_MATRIX = 39,
        VIEW_MATRIX = 40,
        LIGHT_BASE = 100, // light i, field f (1..12): 100 + 20·i + f
        LOCATION_COUNT = 280
    };
    static constexpr int FEATURE_COUNT = 10;

    // Links the two shaders and resolves every location. `graphics` owns the
    // program-in-use state and counts the uploads; a graphics object that is
    // not the OpenGL ES 2 back end makes an empty program (GL name 0).
    ShaderProgram(Graphics3D* graphics, VertexShader* vs, FragmentShader* fs, bool validate);
    virtual ~ShaderProgram();
    virtual Object3D* duplicate() const;

    unsigned getGLName() const { return m_glName; }
    VertexShader* getVertexShader() const { return m_vertexShader.get(); }
    FragmentShader* getFragmentShader() const { return m_fragmentShader.get(); }
    bool isValidationEnabled() const { return m_validate; }
    // The location stored at `index` of the table (-1 when unused or out of range).
    int getLocation(int index) const {
        return index >= 0 && index < m_locations.size() ? m_locations[index] : -1;
    }
    int getShaderUniformID(const core::String& name) const;
    int getShaderAttribID(const core::String& name) const;

    // Cached uploads; a location below 0 does nothing.
    void setUniform(int location, float v);
    void setUniform(int location, const slm::vec3& v);
    void setUniform(int location, const slm::vec4& v);
    void setUniform(int location, const slm::mat4& m);
    // The feature table (10 floats), also cached.
    void setFeatures(int location, const float* flags);
    // Points the sampler at `location` to texture unit `unit` (cached like
    // the other uniforms; the renderer binds the textures to the units).
    void setSampler(int location, int unit);

    // The lights version the program last received (see OGLES2_Graphics3D).
    int getLightsVersion() const { return m_lightsVersion; }
    void setLightsVersion(int v) { m_lightsVersion = v; }

    // The owning renderer is going away: uploads stop counting, nothing calls back.
    void detachGraphics() { m_owner = nullptr; }

    // Runs glValidateProgram (when validation is on) and logs that it is slow.
    void validate() const;

private:
    ShaderProgram(const ShaderProgram& other);
    void link();
    void resolveLocations();
    template <typename T> void upload(int location, const T& value);
    template <typename T> static bool cacheHit(core::Vector<T>& cache, core::Vector<char>& known, int location,
                                              const T& value, bool (*same)(const T&, const T&));

    core::Vector<slm::mat4> m_matrixCache;
    core::Vector<int> m_intCache;
    core::Vector<slm::vec4> m_vectorCache;
    core::Vector<float> m_floatCache;
    // Whether each cache entry holds a value GL has actually received.
    core::Vector<char> m_matrixKnown, m_vectorKnown, m_floatKnown, m_intKnown;
    core::Vector<int> m_locations;
    core::String m_name;
    core::Ref<VertexShader> m_vertexShader;
    core::Ref<FragmentShader> m_fragmentShader;
    unsigned m_glName;
    int m_lightsVersion;
    bool m_validate;
    OGLES2_Graphics3D* m_owner;
    float m_features[FEATURE_COUNT];
    bool m_featuresKnown;
};

} // namespace render
