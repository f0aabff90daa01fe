// render::Shader and its two stages, render::VertexShader and
// render::FragmentShader: one GLSL shader object compiled from the stage's
// built-in header followed by the given text. The shader is compiled in the
// constructor; a compile failure logs the driver's message and throws
// Graphics3DException "Shader error compiling failed" (no GL object is left).
// The headers are written for OpenGL ES 2; precision qualifiers and
// statements are blanked out for desktop GLSL before compiling.
#pragma once
#include "render/Object3D.h"

namespace render {

class Shader : public Object3D {
public:
    virtual ~Shader();

    unsigned getGLName() const { return m_glName; }
    const core::String& getSource() const { return m_source; }
    int getSourceFlags() const { return m_flags; }

    // Blanks every "highp", "lowp" and "mediump", then every "precision ...;"
    // statement up to and including its ';' (line breaks stay, so compiler
    // line numbers still match). Works in place on a 0-terminated text.
    static void stripPrecision(char* text);

    static const char* vertexHeader();
    static const char* fragmentHeader();
    static const char* defaultVertexBody();
    static const char* defaultFragmentBody();

protected:
    // `stage` is OGLES2_Graphics3D::VERTEX_STAGE or FRAGMENT_STAGE; `kindName` is used in the log lines.
    Shader(unsigned stage, const char* kindName, const char* header, const core::String& source);
    Shader(const Shader& other, unsigned stage, const char* kindName, const char* header);

private:
    void compile(unsigned stage, const char* kindName, const char* header);

    int m_flags; // bit 0: the source is a file path (not used by any creator yet)
    core::String m_source;
    core::String m_loadedText;
    unsigned m_glName;
};

class VertexShader : public Shader {
public:
    explicit VertexShader(const core::String& source);
    virtual Object3D* duplicate() const;

private:
    VertexShader(const VertexShader& other);
};

class FragmentShader : public Shader {
public:
    explicit FragmentShader(const core::String& source);
    virtual Object3D* duplicate() const;

private:
    FragmentShader(const FragmentShader& other);
};

} // namespace render
