#include "render/Camera.h"
#include "core/Exceptions.h"
#include <cmath>

namespace render {

Camera::Camera()
    : m_fovyOrHeight(0.0f), m_aspect(0.0f), m_near(0.0f), m_far(0.0f), m_left(0.0f), m_right(0.0f), m_top(0.0f),
      m_bottom(0.0f), m_type(GENERIC) {}

Camera::Camera(const Camera& other)
    : Node(other), m_generic(other.m_generic), m_projection(other.m_projection),
      m_fovyOrHeight(other.m_fovyOrHeight), m_aspect(other.m_aspect), m_near(other.m_near), m_far(other.m_far),
      m_left(other.m_left), m_right(other.m_right), m_top(other.m_top), m_bottom(other.m_bottom),
      m_type(other.m_type) {}

Object3D* Camera::duplicate() const { return M3D_NEW Camera(*this); }

void Camera::checkDepthRange(float zNear, float zFar) {
    if (std::fabs(zFar - zNear) < 1.1754944e-38f)
        throw ArithmeticException("UNKNOWN", "UNKNOWN", 0,
                                  "Transformation matrix cannot be computed due to illegal perspective or "
                                  "parallel projection parameters (near == far)");
}

void Camera::setGeneric(const slm::mat4& projection) {
    m_generic = projection;
    m_projection = projection;
    m_type = GENERIC;
}

void Camera::setParallel(float height, float aspect, float zNear, float zFar) {
    checkDepthRange(zNear, zFar);
    slm::mat4 p = slm::diagonal(0.0f);
    p.m[0] = 2.0f / (aspect * height);
    p.m[5] = 2.0f / height;
    p.m[10] = -2.0f / (zFar - zNear);
    p.m[14] = -(zFar + zNear) / (zFar - zNear);
    p.m[15] = 1.0f;
    m_projection = p;
    m_fovyOrHeight = height;
    m_aspect = aspect;
    m_near = zNear;
    m_far = zFar;
    m_type = PARALLEL;
}

void Camera::setPerspective(float fovyDegrees, float aspect, float zNear, float zFar) {
    checkDepthRange(zNear, zFar);
    m_projection = slm::perspective(fovyDegrees * 0.017453292f, aspect, zNear, zFar, 1.0f);
    m_fovyOrHeight = fovyDegrees;
    m_aspect = aspect;
    m_near = zNear;
    m_far = zFar;
    m_type = PERSPECTIVE;
}

void Camera::setScreen(float left, float right, float bottom, float top, float zNear, float zFar) {
    checkDepthRange(zNear, zFar);
    slm::mat4 p = slm::diagonal(0.0f);
    p.m[0] = 2.0f / (right - left);
    p.m[5] = 2.0f / (top - bottom);
    p.m[10] = -2.0f / (zFar - zNear);
    p.m[12] = -(right + left) / (right - left);
    p.m[13] = -(top + bottom) / (top - bottom);
    p.m[14] = -(zFar + zNear) / (zFar - zNear);
    p.m[15] = 1.0f;
    m_projection = p;
    m_left = left;
    m_right = right;
    m_bottom = bottom;
    m_top = top;
    m_near = zNear;
    m_far = zFar;
    m_type = SCREEN;
}

int Camera::getProjection(float params[4]) const {
    if (m_type == SCREEN) {
        params[0] = m_top;
        params[1] = m_bottom;
        params[2] = m_right;
        params[3] = m_left;
    } else {
        params[0] = m_fovyOrHeight;
        params[1] = m_aspect;
        params[2] = m_near;
        params[3] = m_far;
    }
    return m_type;
}

} // namespace render
