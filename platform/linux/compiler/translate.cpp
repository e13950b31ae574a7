// The back end, with interface.cpp and glsl_writer.cpp the only code tied to glslang and
// SPIRV-Cross: translate_hlsl (HLSL -> SPIR-V, then interface.cpp's GLSL 330 with Direct3D 9's
// registers, VPOS, VFACE, COLORn and DEPTH), one entry point at a time.
#include <algorithm>
#include <cstdlib>
#include <exception>
#include <new>

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/SPIRV/GlslangToSpv.h>

#include "arithmetic.h"
#include "compiler.h"
#include "intrinsics.h"

namespace fxcompiler {

namespace {

const EShMessages MESSAGES = EShMessages(EShMsgReadHlsl | EShMsgSpvRules | EShMsgVulkanRules | EShMsgHlslDX9Compatible);

// Process-wide setup costs tens of milliseconds: once per process, released at exit.
void ensure_process_setup()
{
    static const bool ready = [] {
        glslang::InitializeProcess();
        std::atexit([] { glslang::FinalizeProcess(); });
        return true;
    }();
    (void)ready;
}

struct Source {
    const char* text;
    int length;
    const char* name;
};

void configure(glslang::TShader& shader, const Source& src, const std::string& preamble, const std::string& entry)
{
    shader.setStringsWithLengthsAndNames(&src.text, &src.length, &src.name, 1);
    shader.setPreamble(preamble.c_str());
    shader.setEntryPoint(entry.c_str());
    shader.setSourceEntryPoint(entry.c_str());
    shader.setEnvInput(glslang::EShSourceHlsl, EShLangFragment, glslang::EShClientVulkan, 100);
    shader.setEnvClient(glslang::EShClientVulkan, glslang::EShTargetVulkan_1_0);
    shader.setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
    shader.setEnvTargetHlslFunctionality1();  // keeps the semantic names in the SPIR-V
    shader.setAutoMapBindings(true);
    shader.setAutoMapLocations(true);
}

bool has_error(const std::vector<Diagnostic>& diagnostics)
{
    return std::any_of(diagnostics.begin(), diagnostics.end(), [](const Diagnostic& d) { return d.error; });
}

// HLSL's fmod and float '%' keep the dividend's sign; glslang emits the floor-based OpFMod/OpSMod.
// The truncating OpFRem/OpSRem take the same operands.
bool patch_remainders_and_find_entry(std::vector<std::uint32_t>& words)
{
    bool entry = false;
    for (std::size_t i = 5; i < words.size();) {
        std::uint32_t count = words[i] >> 16, op = words[i] & 0xFFFF;
        if (op == 141) words[i] = (count << 16) | 140;  // OpFMod -> OpFRem
        if (op == 139) words[i] = (count << 16) | 138;  // OpSMod -> OpSRem
        if (op == 15) entry = true;                     // OpEntryPoint
        if (count == 0) break;
        i += count;
    }
    return entry;
}

// The back end's places are in the text it parsed: as main.fx's, with the intrinsics' own names.
std::vector<Diagnostic> in_file(std::vector<Diagnostic> diagnostics, const PreparedSource& source)
{
    for (Diagnostic& d : diagnostics) {
        if (d.line > 0) {
            Place place = source.map.to_file(d.line, d.column);
            d.line = place.line;
            d.column = place.column;
        }
        d.text = with_intrinsic_names(d.text);
    }
    return diagnostics;
}

}  // namespace

// glslang builds its built-in symbol tables on the first parse of a kind and keeps them for the
// process. A throw-away parse here builds them once, before any child is forked: otherwise each
// child would build them again (about 30 ms).
void prepare_back_end()
{
    static const bool warm = [] {
        ensure_process_setup();
        PreparedSource tiny;
        tiny.text = "float4 main() : COLOR0 { return 0; }\n";
        return translate_hlsl(tiny, "warm-up", "main", TranslateOptions()).ok;
    }();
    (void)warm;
}

TranslateResult translate_hlsl(const PreparedSource& source, const std::string& file_name, const std::string& entry,
                               const TranslateOptions& options)
{
    TranslateResult result;
    std::vector<Diagnostic>& diagnostics = result.diagnostics;
    try {
        ensure_process_setup();
        glslang::TShader shader(EShLangFragment);
        Source src{source.text.c_str(), (int)source.text.size(), file_name.c_str()};
        configure(shader, src, source.preamble, entry);
        bool ok = shader.parse(GetDefaultResources(), 100, false, MESSAGES);
        diagnostics = in_file(parse_glslang_log(shader.getInfoLog(), file_name, source.text), source);
        // Integer registers are ps_3_0's; their constants read 0 (see arithmetic.cpp).
        diagnostics.erase(std::remove_if(diagnostics.begin(), diagnostics.end(),
                                         [](const Diagnostic& d) {
                                             return !d.error &&
                                                 d.text.find("unrecognized register type i") != std::string::npos;
                                         }),
                          diagnostics.end());
        if (!ok || has_error(diagnostics)) {
            if (!has_error(diagnostics)) diagnostics.push_back({0, 0, true, "the shader did not compile"});
            return result;
        }

        glslang::TProgram program;
        program.addShader(&shader);
        ok = program.link(MESSAGES);
        bool entry_found = true;
        for (const Diagnostic& d : in_file(parse_glslang_log(program.getInfoLog(), file_name, source.text), source)) {
            // A missing entry point is only a warning here, with an empty main(): an error for us.
            if (d.text.find("Entry point not found") == std::string::npos) diagnostics.push_back(d);
            else entry_found = false;
        }
        if (!entry_found) {
            diagnostics.push_back({1, 1, true, "'" + entry + "' : entry point not found"});
            return result;
        }
        if (!ok || has_error(diagnostics)) {
            if (!has_error(diagnostics)) diagnostics.push_back({0, 0, true, "the shader did not link"});
            return result;
        }
        std::vector<Diagnostic> refused =
            in_file(apply_tree_rules(*program.getIntermediate(EShLangFragment), source.text), source);
        if (!refused.empty()) {
            diagnostics.insert(diagnostics.end(), refused.begin(), refused.end());
            return result;
        }

        std::vector<std::uint32_t> spirv;
        spv::SpvBuildLogger logger;
        glslang::SpvOptions spv_options;
        spv_options.disableOptimizer = !options.optimise;
        spv_options.validate = false;
        glslang::GlslangToSpv(*program.getIntermediate(EShLangFragment), spirv, &logger, &spv_options);
        std::string spv_log = logger.getAllMessages();
        if (spv_log.find("error") != std::string::npos || spirv.size() < 5) {
            diagnostics.push_back({0, 0, true, "code generation failed: " + spv_log});
            return result;
        }
        if (!patch_remainders_and_find_entry(spirv)) {
            diagnostics.push_back({1, 1, true, "'" + entry + "' : entry point not found"});
            return result;
        }
        std::vector<Diagnostic> too_big = check_code_size(spirv, source, entry);
        if (!too_big.empty()) {
            diagnostics.insert(diagnostics.end(), too_big.begin(), too_big.end());
            return result;
        }

        Diagnostic error;
        if (!write_glsl(std::move(spirv), source, result.blob, error)) {
            diagnostics.push_back(error);
            return result;
        }
        result.ok = true;
    } catch (const std::bad_alloc&) {
        throw;  // the worker's memory limit: its caller reports it
    } catch (const std::exception& e) {
        diagnostics.push_back({0, 0, true, std::string("internal compiler error: ") + e.what()});
    } catch (...) {
        diagnostics.push_back({0, 0, true, "internal compiler error"});
    }
    return result;
}

}  // namespace fxcompiler
