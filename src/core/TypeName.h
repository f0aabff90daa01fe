// Compile-time spelling of a type for allocation tags, in the engine's trace
// form: "class " or "struct " before class types, " *" for pointers, template
// arguments joined by ',' and a blank before a '>' that follows another '>':
//   core::Ref<render::Node>  ->  "class core::Ref<class render::Node> "
// The spelling is built from the type itself (the compiler's name for each
// piece), once per type, into a static buffer.
#pragma once
#include <cstring>
#include <type_traits>

namespace core {
namespace typename_detail {

struct Text {
    char buf[512];
    int len = 0;
    Text() { buf[0] = 0; }
    void add(const char* s, int n) {
        for (int i = 0; i < n && len < (int)sizeof buf - 1; ++i) buf[len++] = s[i];
        buf[len] = 0;
    }
    void add(const char* s) { add(s, (int)std::strlen(s)); }
};

// The compiler's own name of T, cut out of __PRETTY_FUNCTION__ ("... [with T = name]").
template <typename T> const char* rawSignature() { return __PRETTY_FUNCTION__; }

template <typename T> void addRawName(Text& t, bool withoutArguments) {
    const char* sig = rawSignature<T>();
    const char* b = std::strstr(sig, "T = ");
    if (!b) return;
    b += 4;
    const char* e = b + std::strlen(b);
    if (e > b && e[-1] == ']') --e;
    if (withoutArguments) {
        const char* lt = static_cast<const char*>(std::memchr(b, '<', (size_t)(e - b)));
        if (lt) e = lt;
    }
    t.add(b, (int)(e - b));
}

template <typename T, typename = void> struct IsComplete : std::false_type {};
template <typename T> struct IsComplete<T, std::void_t<decltype(sizeof(T))>> : std::true_type {};

// Plain records (aggregates) are spelled "struct", other class types "class";
// a type only declared so far is taken as a class.
template <typename T> const char* keyword() {
    if constexpr (!std::is_class<T>::value) {
        return "";
    } else if constexpr (IsComplete<T>::value) {
        return std::is_aggregate<T>::value ? "struct " : "class ";
    } else {
        return "class ";
    }
}

template <typename T> struct Spell {
    static void add(Text& t) {
        t.add(keyword<T>());
        addRawName<T>(t, false);
    }
};

// Fundamental types in their usual spelling (the compiler says "short unsigned int").
#define M3D_SPELL_AS(Type, Text)                                                                   \
    template <> struct Spell<Type> {                                                               \
        static void add(Text_& t) { t.add(Text); }                                                 \
    };
typedef Text Text_;
M3D_SPELL_AS(unsigned short, "unsigned short")
M3D_SPELL_AS(short, "short")
M3D_SPELL_AS(unsigned long, "unsigned long")
M3D_SPELL_AS(long, "long")
M3D_SPELL_AS(unsigned long long, "unsigned __int64")
M3D_SPELL_AS(long long, "__int64")
M3D_SPELL_AS(unsigned char, "unsigned char")
M3D_SPELL_AS(signed char, "signed char")
#undef M3D_SPELL_AS

template <typename T> struct Spell<T*> {
    static void add(Text& t) {
        Spell<T>::add(t);
        t.add(" *");
    }
};

template <typename T> struct Spell<const T> {
    static void add(Text& t) {
        t.add("const ");
        Spell<T>::add(t);
    }
};

template <template <typename...> class Tmpl, typename... Args> struct Spell<Tmpl<Args...>> {
    static void add(Text& t) {
        t.add(keyword<Tmpl<Args...>>());
        addRawName<Tmpl<Args...>>(t, true);
        t.add("<");
        bool first = true;
        int dummy[] = {0, (addArg<Args>(t, first), 0)...};
        (void)dummy;
        if (t.len > 0 && t.buf[t.len - 1] == '>') t.add(" ");
        t.add(">");
    }
    template <typename A> static void addArg(Text& t, bool& first) {
        if (!first) t.add(",");
        first = false;
        Spell<A>::add(t);
    }
};

} // namespace typename_detail

// The type's spelling; the text lives for the whole program.
template <typename T> const char* typeSpelling() {
    static typename_detail::Text text = [] {
        typename_detail::Text t;
        typename_detail::Spell<T>::add(t);
        return t;
    }();
    return text.buf;
}

// `prefix` + spelling of T + `suffix`, built once per (T, tag) and kept.
template <typename T, typename Tag> const char* composedName(const char* prefix, const char* suffix) {
    static typename_detail::Text text = [&] {
        typename_detail::Text t;
        t.add(prefix);
        typename_detail::Spell<T>::add(t);
        if (suffix[0] == '>' && t.len > 0 && t.buf[t.len - 1] == '>') t.add(" ");
        t.add(suffix);
        return t;
    }();
    return text.buf;
}

} // namespace core
