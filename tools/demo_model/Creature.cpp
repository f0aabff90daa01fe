#include "Creature.h"
#include "Pictures.h"
#include "render/AnimationController.h"
#include "render/Background.h"
#include "render/Camera.h"
#include "render/Fog.h"
#include "render/Light.h"
#include "render/AnimationTrack.h"
#include "render/Appearance.h"
#include "render/Graphics3D.h"
#include "render/IndexBuffer.h"
#include "render/KeyframeSequence.h"
#include "render/Material.h"
#include "render/PolygonMode.h"
#include "render/SkinnedMesh.h"
#include "render/Texture2D.h"
#include "render/VertexArray.h"
#include "render/VertexBuffer.h"
#include <cmath>
#include <vector>

using namespace render;

namespace demo_model {

namespace {

const int BONES = 6;
const float LENGTH = 6.0f;            // units along x, head at x = LENGTH
const int RINGS = 37;                 // cross-sections from tail to head
const int AROUND = 14;                // vertices around each ring (the seam repeats)
const int CYCLE_MS = 2000;
const float POSITION_UNIT = 1.0f / 4096.0f; // 16-bit positions: 1/4096 unit steps

// The body's radius along its length (t = 0 tail, 1 head): thin at both
// ends, fullest behind the head; a little flattened sideways.
float radius(float t) { return 0.55f * std::pow(std::sin(3.14159265f * std::pow(t, 0.8f)), 0.75f) + 0.02f; }

slm::quat turnY(float radians) {
    float h = radians * 0.5f;
    return slm::quat(0.0f, std::sin(h), 0.0f, std::cos(h));
}

// A looping orientation track for bone `bone` (0 = head): five keys of a
// sine wave with the bone's phase lag, amplitude growing towards the tail.
AnimationTrack* swimTrack(int bone, int interpolation) {
    const int KEYS = 5;
    KeyframeSequence* seq = M3D_NEW KeyframeSequence(KEYS, 4, interpolation);
    // Turns add up down the chain, so small ones make a wide tail swing.
    float amplitude = 0.08f + 0.04f * (float)bone;
    float phase = (float)bone * 0.9f;
    for (int k = 0; k < KEYS; ++k) {
        float a = amplitude * std::sin(6.2831853f * (float)k / (KEYS - 1) - phase);
        slm::quat q = turnY(a);
        const float v[4] = {q.x, q.y, q.z, q.w};
        seq->setKeyframe(k, k * CYCLE_MS / (KEYS - 1), v);
    }
    seq->setRepeatMode(KeyframeSequence::LOOP);
    seq->setDuration(CYCLE_MS);
    AnimationTrack* track = M3D_NEW AnimationTrack(seq, AnimationTrack::ORIENTATION);
    track->setController(M3D_NEW AnimationController());
    return track;
}

} // namespace

core::Ref<Group> buildCreature(Graphics3D& g, const Picture& skin, Fog* fog) {
    // Vertices ring by ring from the tail; each ring's vertices are
    // consecutive, so a ring binds to its bones as one range.
    const int count = RINGS * AROUND;
    std::vector<short> positions, texcoords;
    std::vector<signed char> normals;
    for (int r = 0; r < RINGS; ++r) {
        float t = (float)r / (RINGS - 1);
        float x = t * LENGTH, rad = radius(t);
        for (int a = 0; a < AROUND; ++a) {
            float u = (float)a / (AROUND - 1);
            float ang = u * 6.2831853f;
            float y = std::cos(ang) * rad, z = std::sin(ang) * rad * 0.8f;
            for (float c : {x, y, z}) positions.push_back((short)std::lround(c / POSITION_UNIT));
            float nx = 0.0f, ny = std::cos(ang), nz = std::sin(ang);
            for (float c : {nx, ny, nz}) normals.push_back((signed char)std::lround(c * 127.0f));
            // u along the body (tail 0, head 1), v around.
            texcoords.push_back((short)std::lround(t * 1024.0f));
            texcoords.push_back((short)std::lround(u * 1024.0f));
        }
    }
    core::Ref<VertexArray> pa(M3D_NEW VertexArray(count, 3, 2));
    pa->set(0, count, positions.data());
    core::Ref<VertexArray> na(M3D_NEW VertexArray(count, 3, 1));
    na->set(0, count, normals.data());
    core::Ref<VertexArray> ta(M3D_NEW VertexArray(count, 2, 2));
    ta->set(0, count, texcoords.data());
    core::Ref<VertexBuffer> vb(M3D_NEW VertexBuffer());
    vb->setPositions(pa.get(), POSITION_UNIT, nullptr);
    vb->setNormals(na.get());
    vb->setTexCoords(0, ta.get(), 1.0f / 1024.0f, nullptr);
    vb->setDefaultColor(0xFFFFFFFFu);

    // One strip over all rings, rows joined by repeated indices.
    std::vector<unsigned short> strip;
    for (int r = 0; r + 1 < RINGS; ++r) {
        if (r > 0) strip.push_back((unsigned short)(r * AROUND));
        for (int a = 0; a < AROUND; ++a) {
            strip.push_back((unsigned short)(r * AROUND + a));
            strip.push_back((unsigned short)((r + 1) * AROUND + a));
        }
        strip.push_back((unsigned short)((r + 1) * AROUND + AROUND - 1));
    }
    core::Ref<IndexBuffer> ib(M3D_NEW TriangleStripArray(strip.data(), (int)strip.size()));

    core::Ref<Appearance> look(M3D_NEW Appearance());
    Material* material = M3D_NEW Material();
    material->setAmbient(0xFF606060u);
    material->setDiffuse(0xFFFFFFFFu);
    material->setSpecular(0xFF505050u);
    material->setShininess(24.0f);
    look->setMaterial(material);
    PolygonMode* polygons = M3D_NEW PolygonMode();
    polygons->setCulling(PolygonMode::CULL_NONE);
    look->setPolygonMode(polygons);
    core::Ref<Image2D> image(M3D_NEW Image2D(Image2D::RGBA, skin.width, skin.height, skin.rgba.data()));
    core::Ref<Texture2D> texture(g.createNewTexture(Texture2D::KIND_TEXTURE, Image2D::RGBA, 0, 0));
    texture->setImage(image.get());
    texture->setBlending(Texture2D::FUNC_MODULATE);
    look->setTexture(0, texture.get());
    if (fog) look->setFog(fog);

    // The skeleton: a chain from the head (bone 0 at x = LENGTH) to the
    // tail, each bone one step further towards -x than its parent, so the
    // turns of the bones before it carry each bone along.
    core::Ref<Group> skeleton(M3D_NEW Group());
    std::vector<Group*> bones;
    Group* parent = skeleton.get();
    const float step = LENGTH / (float)(BONES - 1);
    for (int b = 0; b < BONES; ++b) {
        Group* bone = M3D_NEW Group();
        bone->setUserID(10 + b);
        bone->setTranslation(slm::vec3(b == 0 ? LENGTH : -step, 0.0f, 0.0f));
        parent->addChild(bone);
        bones.push_back(bone);
        parent = bone;
    }
    IndexBuffer* submeshes[1] = {ib.get()};
    Appearance* looks[1] = {look.get()};
    core::Ref<SkinnedMesh> body(M3D_NEW SkinnedMesh(vb.get(), submeshes, looks, 1, skeleton.get()));
    body->setUserID(2);
    // Each ring follows the two bones around it, weighted by distance.
    for (int r = 0; r < RINGS; ++r) {
        float along = (float)(RINGS - 1 - r) / (RINGS - 1) * (BONES - 1); // 0 at the head
        int b0 = (int)std::floor(along);
        if (b0 >= BONES - 1) b0 = BONES - 2;
        float f = along - (float)b0;
        int w1 = (int)std::lround(f * 100.0f), w0 = 100 - w1;
        if (w0 > 0) body->addTransform(bones[b0], w0, r * AROUND, AROUND);
        if (w1 > 0) body->addTransform(bones[b0 + 1], w1, r * AROUND, AROUND);
    }
    // The tail's track is SQUAD, for a smooth turn at the ends of its swing.
    for (int b = 0; b < BONES; ++b)
        bones[b]->addAnimationTrack(swimTrack(b, b == BONES - 1 ? KeyframeSequence::SQUAD : KeyframeSequence::SLERP));

    core::Ref<Group> root(M3D_NEW Group());
    root->setUserID(1);
    // Centred on the origin: the body spans x = -3 ... 3.
    root->setTranslation(slm::vec3(-LENGTH * 0.5f, 0.0f, 0.0f));
    root->addChild(body.get());
    return root;
}

core::Ref<World> buildAquarium(Graphics3D& g, const Picture& skin) {
    core::Ref<World> world(M3D_NEW World());
    Background* background = M3D_NEW Background();
    background->setColor(0xFF0A2A4Au);
    world->setBackground(background);
    Camera* camera = M3D_NEW Camera();
    camera->setPerspective(50.0f, 4.0f / 3.0f, 0.5f, 60.0f);
    camera->setTranslation(slm::vec3(0.0f, 5.5f, 8.0f));
    camera->setOrientation(slm::quat(-0.3007f, 0.0f, 0.0f, 0.9537f)); // 35 degrees down
    world->addChild(camera);
    world->setActiveCamera(camera);
    Light* ambient = M3D_NEW Light();
    ambient->setMode(Light::AMBIENT);
    ambient->setColor(0x304050);
    world->addChild(ambient);
    Light* sun = M3D_NEW Light();
    sun->setColor(0xFFF0D0);
    // From above, in front and to the left.
    sun->setOrientation(slm::quat(-0.5f, 0.2f, 0.1f, 0.84f));
    world->addChild(sun);

    Fog* fog = M3D_NEW Fog();
    fog->setColor(0x0A2A4A);
    fog->setLinear(6.0f, 30.0f);
    core::Ref<Group> creature = buildCreature(g, skin, fog);
    creature->setUserID(1);
    world->addChild(creature.get());

    // The floor: 12 x 12 tiles of 2 units, two materials in a checker.
    const int N = 12;
    std::vector<short> p;
    std::vector<signed char> n;
    for (int z = 0; z <= N; ++z)
        for (int x = 0; x <= N; ++x) {
            p.insert(p.end(), {(short)((x - N / 2) * 2), 0, (short)(-z * 2 + 4)});
            n.insert(n.end(), {0, 127, 0});
        }
    core::Ref<VertexArray> pa(M3D_NEW VertexArray((N + 1) * (N + 1), 3, 2));
    pa->set(0, (N + 1) * (N + 1), p.data());
    core::Ref<VertexArray> na(M3D_NEW VertexArray((N + 1) * (N + 1), 3, 1));
    na->set(0, (N + 1) * (N + 1), n.data());
    core::Ref<VertexBuffer> vb(M3D_NEW VertexBuffer());
    const float bias[3] = {0.0f, -1.5f, 0.0f};
    vb->setPositions(pa.get(), 1.0f, bias);
    vb->setNormals(na.get());
    std::vector<unsigned short> tiles[2];
    for (int z = 0; z < N; ++z)
        for (int x = 0; x < N; ++x) {
            unsigned short a = (unsigned short)(z * (N + 1) + x), b = (unsigned short)(a + 1),
                           c = (unsigned short)(a + N + 2), d = (unsigned short)(a + N + 1);
            // Strips of one quad each, joined by repeated indices.
            std::vector<unsigned short>& t = tiles[(x + z) % 2];
            if (!t.empty()) {
                t.push_back(t.back());
                t.push_back(a);
            }
            // Counter-clockwise seen from above.
            for (unsigned short k : {a, b, d, c}) t.push_back(k);
        }
    IndexBuffer* parts[2];
    Appearance* looks[2];
    core::Ref<Object3D> keep[4];
    const unsigned colours[2] = {0xFFC8B078u, 0xFF8A7A58u};
    for (int i = 0; i < 2; ++i) {
        parts[i] = M3D_NEW TriangleStripArray(tiles[i].data(), (int)tiles[i].size());
        looks[i] = M3D_NEW Appearance();
        Material* m = M3D_NEW Material();
        m->setDiffuse(colours[i]);
        m->setAmbient(colours[i]);
        looks[i]->setMaterial(m);
        looks[i]->setFog(fog);
        keep[i] = parts[i];
        keep[2 + i] = looks[i];
    }
    Mesh* floor = M3D_NEW Mesh(vb.get(), parts, looks, 2);
    floor->setUserID(20);
    world->addChild(floor);
    return world;
}

} // namespace demo_model
