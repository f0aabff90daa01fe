// The script host with real LuaJIT states running real scripts from a
// temporary Data/ folder.
#include "ScriptTestSupport.h"
#include "core/Exceptions.h"
#include <gtest/gtest.h>
#include <gmock/gmock.h>
#include <vector>

using ::testing::HasSubstr;
using namespace testsupport;

namespace {

class ScriptHostTest : public ::testing::Test {
protected:
    lua_State* open() {
        Script_Instance::createState(s.getHolder());
        return s.getState();
    }
    WorkDir dir;
    EngineCore core{10240000, 0xF};
    RootMount mount;
    PlainScript s;
};

TEST_F(ScriptHostTest, StateHasTheLibrariesOnceAndPrintJoinsWithBlanks) {
    lua_State* L = open();
    EXPECT_EQ(runLua(L, "assert(jit.status() ~= nil and bit and require('ffi') and os)"), "");
    // A second createState keeps the state.
    Script_Instance::createState(s.getHolder());
    EXPECT_EQ(s.getState(), L);
    EXPECT_EQ(s.registered, 1);
    StderrCapture cap;
    EXPECT_EQ(runLua(L, "print(1, nil, 'x') print() print(true, 2.5, {} ~= nil)"), "");
    EXPECT_THAT(cap.finish(), HasSubstr("LUA: 1 nil x\nLUA: \nLUA: true 2.5 true\n"));
}

TEST_F(ScriptHostTest, LoadOwnModuleCompilesWithoutRunningAndReportsProblems) {
    dir.script("Helper", "counter = (counter or 0) + 1\nreturn 42\n");
    dir.script("Broken", "local x = = 1\n");
    EXPECT_EQ(runLua(open(), R"(
        local f = loadownmodule('Helper')
        assert(type(f) == 'function' and counter == nil)
        assert(f() == 42 and counter == 1)
        loadownmodule('Helper')()
        assert(counter == 2, 'not cached: compiled again')
        local m = loadownmodule('Missing')
        assert(m == 'Lua module not found: Data/Missing.lua', m)
        m = loadownmodule('Broken')
        assert(m:find('[string "Data/Broken.lua"]:1:', 1, true), m)
        local ok, e = pcall(loadownmodule, 'a', 'b')
        assert(e:find('Invalid argument count!'), e)
    )"),
              "");
}

TEST_F(ScriptHostTest, AModuleThatCannotBeReadForLackOfMemoryIsNotCalledMissing) {
    dir.script("Helper", "return 1\n");
    lua_State* L = open();
    // Fill the pool, big blocks first, then small ones.
    std::vector<void*> blocks;
    for (int size = 1 << 20; size >= 16; size /= 4) {
        try {
            for (;;)
                blocks.push_back(core.pool().hwMemAlloc(size, M3D_HERE));
        } catch (const core::MemoryManagerException&) {
        }
    }
    StderrCapture cap;
    std::string result = runLua(L, "local m = loadownmodule('Helper') assert(type(m) == 'string') error(m)");
    cap.finish();
    // Freed from the top down, so each block merges with the free one above it.
    for (size_t i = blocks.size(); i-- > 0;)
        core.pool().hwMemFree(blocks[i], M3D_HERE);
    EXPECT_NE(result.find("Lua module could not be loaded: Data/Helper.lua ("), std::string::npos) << result;
    EXPECT_EQ(runLua(L, "assert(loadownmodule('Helper')() == 1)"), "") << "fine again with memory";
}

TEST_F(ScriptHostTest, BootstrapErrorsAreLoggedAndKeepWhatRan) {
    PlainScript missing;
    StderrCapture cap;
    Script_Instance::runBootstrap(missing.getHolder());
    EXPECT_THAT(cap.finish(), HasSubstr("LUA ERROR: Lua module not found: Data/Bootstrap.lua\n"));
    EXPECT_NE(missing.getState(), nullptr);

    dir.script("Bootstrap", "first = 1\nerror('boom')\nsecond = 2\n");
    StderrCapture cap2;
    Script_Instance::runBootstrap(s.getHolder());
    std::string out = cap2.finish();
    EXPECT_THAT(out, HasSubstr("Running file: Data/Bootstrap.lua\n"));
    EXPECT_THAT(out, HasSubstr(" ERROR  |LUA ERROR: [string \"Data/Bootstrap.lua\"]:2: boom\n"));
    EXPECT_EQ(runLua(s.getState(), "assert(first == 1 and second == nil)"), "");
    EXPECT_EQ(lua_gettop(s.getState()), 0);
    // Closing the state runs every collector; a second close has nothing to do.
    EXPECT_EQ(runLua(s.getState(), "keep = setmetatable({}, {__gc = function() end})"), "");
    Script_Instance::closeState(s.getHolder());
    EXPECT_EQ(s.getState(), nullptr);
    Script_Instance::closeState(s.getHolder());
}

TEST_F(ScriptHostTest, CallPassesArgumentsAndReadsResults) {
    dir.script("Bootstrap", "function f(a, b, c, d, e) return a, b, c, d .. e end\n"
                            "function truthy(v) return v end\n"
                            "function nothing() end\n");
    Script_Instance::runBootstrap(s.getHolder());
    bool b = false, one = false, none = true, no = true;
    double d = 0;
    float f = 0;
    int i = 0;
    ASSERT_TRUE(Script_Instance::call(&s, "f", "bdfis>bdfi", 1, 2.5, 0.25f, 7, "8", &b, &d, &f, &i));
    EXPECT_TRUE(b && d == 2.5 && f == 0.25f);
    EXPECT_EQ(i, 78) << "the string '78' converts to the integer result";
    // Results of global_update-style calls: 1 is true, nil and false are false.
    EXPECT_TRUE(Script_Instance::call(&s, "truthy", "i>b", 1, &one));
    EXPECT_TRUE(Script_Instance::call(&s, "nothing", "f>b", 0.016, &none));
    EXPECT_TRUE(Script_Instance::call(&s, "truthy", "b>b", 0, &no));
    EXPECT_TRUE(one && !none && !no);
    EXPECT_EQ(lua_gettop(s.getState()), 0);
}

TEST_F(ScriptHostTest, CallFailuresAnswerFalseAndLeaveResultsAlone) {
    dir.script("Bootstrap", "function bad() error('inside') end\nfunction str() return 'x' end\n");
    EXPECT_FALSE(Script_Instance::call(&s, "bad", "")) << "no state yet";
    Script_Instance::runBootstrap(s.getHolder());
    StderrCapture cap;
    bool b = true;
    EXPECT_FALSE(Script_Instance::call(&s, "bad", ">b", &b));
    EXPECT_FALSE(Script_Instance::call(&s, "missing", "f>b", 0.016, &b));
    EXPECT_FALSE(Script_Instance::call(&s, "bad", "x"));
    EXPECT_FALSE(Script_Instance::call(&s, "str", ">s"));
    double d = 5;
    EXPECT_FALSE(Script_Instance::call(&s, "str", ">d", &d));
    EXPECT_FALSE(Script_Instance::call(&s, "str", ">q"));
    EXPECT_TRUE(b && d == 5) << "results of failed calls are left alone";
    std::string out = cap.finish();
    // The traceback follows the message on the same log line, down to the
    // frame of the function the host called.
    EXPECT_THAT(out, HasSubstr("Error running function 'bad': [string \"Data/Bootstrap.lua\"]:1: inside\n"
                               "stack traceback:\n"));
    EXPECT_THAT(
        out, HasSubstr("[string \"Data/Bootstrap.lua\"]:1: in function <[string \"Data/Bootstrap.lua\"]:1>"));
    EXPECT_THAT(out, HasSubstr("Unknown function call data type 'x' (function: bad)!"));
    EXPECT_THAT(out, HasSubstr("Strings cannot be return valus for a generic lua call!"));
    EXPECT_THAT(out, HasSubstr("Unknown function result data type 'q' (function: str)!"));
    EXPECT_EQ(lua_gettop(s.getState()), 0);
}

} // namespace
