// render::Camera: a node that owns a projection. The projection matrix maps
// view space (looking down −Z) to clip space with depth 0 at the near plane
// and 1 at the far plane; every setter recomputes it.
#pragma once
#include "render/Node.h"

namespace render {

class Camera : public Node {
public:
    enum { GENERIC = 48, PARALLEL = 49, PERSPECTIVE = 50, SCREEN = 51 };

    Camera();
    virtual Object3D* duplicate() const;

    void setGeneric(const slm::mat4& projection);
    // Throw ArithmeticException when near equals far; the previous projection stays.
    void setParallel(float height, float aspect, float zNear, float zFar);
    void setPerspective(float fovyDegrees, float aspect, float zNear, float zFar);
    void setScreen(float left, float right, float bottom, float top, float zNear, float zFar);

    // (fovy or height, aspect, near, far), or (top, bottom, right, left) for SCREEN; returns the type.
    int getProjection(float params[4]) const;
    const slm::mat4& getProjectionMatrix() const { return m_projection; }
    int getProjectionType() const { return m_type; }

private:
    Camera(const Camera& other);
    static void checkDepthRange(float zNear, float zFar);

    slm::mat4 m_generic;
    slm::mat4 m_projection;
    float m_fovyOrHeight, m_aspect, m_near, m_far;
    float m_left, m_right, m_top, m_bottom;
    int m_type;
};

} // namespace render
