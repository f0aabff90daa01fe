// render::VBOHandle: the renderer's record of one GL buffer object.
#pragma once

namespace render {

struct VBOHandle {
    enum Kind {
        STATIC_VERTEX = 0,  // GL_ARRAY_BUFFER, GL_STATIC_DRAW
        STATIC_INDEX = 1,   // GL_ELEMENT_ARRAY_BUFFER, GL_STATIC_DRAW
        DYNAMIC_VERTEX = 2, // GL_ARRAY_BUFFER, GL_DYNAMIC_DRAW
        DYNAMIC_INDEX = 3   // GL_ELEMENT_ARRAY_BUFFER, GL_DYNAMIC_DRAW
    };
    int name = -1;   // GL buffer name; -1 = none
    int kind = 0;
    int size = 0;    // allocated bytes (dynamic buffers include the spare bytes)
    int updates = 0; // updateVBO calls over the buffer's life, re-creations included

    bool isDynamic() const { return kind >= DYNAMIC_VERTEX; }
    bool isIndex() const { return kind == STATIC_INDEX || kind == DYNAMIC_INDEX; }
};

} // namespace render
