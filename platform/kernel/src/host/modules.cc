// insmod, rmmod and lsmod: modules are host shared objects built with
// stb_kernel_module, loaded with dlopen. A fresh load maps fresh globals.
#include <dlfcn.h>
#include <elf.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>

#include "core.h"
#include "../seam.h"
#include "params.h"

namespace kplat::detail {

namespace {

template <typename Ehdr, typename Shdr, typename Sym>
std::optional<std::vector<std::string>> undefined_in(const std::vector<char>& f) {
    auto fits = [&](unsigned long long off, unsigned long long len) {
        return off <= f.size() && len <= f.size() - off;
    };
    if (!fits(0, sizeof(Ehdr))) return std::nullopt;
    Ehdr eh;
    std::memcpy(&eh, f.data(), sizeof(eh));
    if (eh.e_shentsize != sizeof(Shdr) || !fits(eh.e_shoff, 1ull * eh.e_shnum * sizeof(Shdr))) return std::nullopt;
    std::vector<Shdr> sections(eh.e_shnum);
    std::memcpy(sections.data(), f.data() + eh.e_shoff, sections.size() * sizeof(Shdr));
    std::vector<std::string> out;
    for (const Shdr& sh : sections) {
        if (sh.sh_type != SHT_DYNSYM || sh.sh_link >= sections.size()) continue;
        const Shdr& str = sections[sh.sh_link];
        if (!fits(sh.sh_offset, sh.sh_size) || !fits(str.sh_offset, str.sh_size)) return std::nullopt;
        for (unsigned long long off = 0; off + sizeof(Sym) <= sh.sh_size; off += sizeof(Sym)) {
            Sym sym;
            std::memcpy(&sym, f.data() + sh.sh_offset + off, sizeof(sym));
            if (sym.st_shndx != SHN_UNDEF || sym.st_name == 0 || sym.st_name >= str.sh_size) continue;
            const char* s = f.data() + str.sh_offset + sym.st_name;
            out.emplace_back(s, strnlen(s, str.sh_size - sym.st_name));
        }
    }
    return out;
}

// The symbols the object leaves to others; none when it is not ELF.
std::optional<std::vector<std::string>> undefined_symbols(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (f.size() < EI_NIDENT || std::memcmp(f.data(), ELFMAG, SELFMAG) != 0) return std::nullopt;
    if (f[EI_CLASS] == ELFCLASS64) return undefined_in<Elf64_Ehdr, Elf64_Shdr, Elf64_Sym>(f);
    if (f[EI_CLASS] == ELFCLASS32) return undefined_in<Elf32_Ehdr, Elf32_Shdr, Elf32_Sym>(f);
    return std::nullopt;
}

bool is_file(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string module_name(const std::string& path) {
    std::string base = path.substr(path.rfind('/') + 1);
    for (const char* ext : {".so", ".o"}) {
        size_t n = std::strlen(ext);
        if (base.size() > n && base.compare(base.size() - n, n, ext) == 0) return base.substr(0, base.size() - n);
    }
    return base;
}

// The module file insmod NAME means: NAME itself when it is a path, else
// NAME.so in the first folder of the module path that holds it; empty when
// there is none.
std::string find_module_file(const std::string& name, const std::vector<std::string>& module_path) {
    if (name.find('/') != std::string::npos) return is_file(name) ? name : std::string();
    std::string file = name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0 ? name : name + ".so";
    for (const std::string& dir : module_path)
        if (is_file(dir + "/" + file)) return dir + "/" + file;
    return std::string();
}

// The module's information records: its exported symbols into m, and the
// parameters it declares.
std::vector<ParamSpec> read_info(Module& m) {
    std::vector<ParamSpec> specs;
    for (const kplat_info_record* r = m.stub->info_begin; r && r != m.stub->info_end; ++r) {
        if (!r->text) continue;
        std::string text = r->text;
        m.info.push_back(text);
        if (text.compare(0, 5, "ksym=") == 0) {
            m.exports.push_back(text.substr(5));
        } else if (text.compare(0, 5, "parm_") == 0 && text.compare(0, 10, "parm_desc_") != 0 && r->addr) {
            size_t eq = text.find('=');
            if (eq != std::string::npos)
                specs.push_back({text.substr(5, eq - 5), text.substr(eq + 1), r->addr, r->size});
        }
    }
    return specs;
}

}  // namespace


void Core::set_error(std::string text) {
    std::lock_guard<std::mutex> g(mem_m_);
    last_error_ = std::move(text);
}

std::string Core::last_error() const {
    std::lock_guard<std::mutex> g(mem_m_);
    return last_error_;
}

int Core::insmod(std::string_view name_arg, const std::vector<std::string>& args) {
    std::string name(name_arg);
    set_error("");

    std::string path = find_module_file(name, opt.module_path);
    if (path.empty()) {
        set_error("insmod: " + name + ": no module by that name found");
        return -ENOENT;
    }

    auto m = std::make_unique<Module>();
    m->name = module_name(path);
    m->path = path;
    auto undefined = undefined_symbols(path);
    if (!undefined) {
        set_error("insmod: " + path + ": not an ELF object");
        return -ENOEXEC;
    }
    m->undefined = std::move(*undefined);
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) m->size = static_cast<unsigned long>(st.st_size);

    Process& proc = spawn("insmod", nullptr, native_abi);
    long result = proc.call([&]() -> long { return load_module(std::move(m), args); });
    exit(proc);
    return static_cast<int>(result);
}

int Core::open_module(Module& m) {
    m.handle = dlopen(m.path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m.handle) {
        const char* why = dlerror();
        set_error(std::string("insmod: ") + (why ? why : m.path.c_str()));
        return -ENOEXEC;
    }
    auto entry = reinterpret_cast<const kplat_module_entry* (*)()>(dlsym(m.handle, "__kplat_module"));
    if (!entry) {
        dlclose(m.handle);
        set_error("insmod: " + m.path + ": not a kernel module");
        return -ENOEXEC;
    }
    m.stub = entry();
    return 0;
}

void Core::link_to_loaded(Module& m) {
    if (!m.exports.empty()) m.global_handle = dlopen(m.path.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_GLOBAL);
    for (auto& other : modules_)
        for (const std::string& sym : other->exports)
            if (std::find(m.undefined.begin(), m.undefined.end(), sym) != m.undefined.end() &&
                std::find(m.uses.begin(), m.uses.end(), other->name) == m.uses.end())
                m.uses.push_back(other->name);
}

int Core::start_module(std::unique_ptr<Module> m) {
    h2k_module_setup(m->stub->module, m->name.c_str(), m->size);
    Module* raw = m.get();
    modules_.push_back(std::move(m));
    int ret = raw->stub->init ? raw->stub->init() : 0;
    if (ret != 0) {
        set_error("insmod: " + raw->name +
                  ": init_module: " + (ret < 0 ? std::string(std::strerror(-ret)) : "returned " + std::to_string(ret)));
        if (raw->global_handle) dlclose(raw->global_handle);
        dlclose(raw->handle);
        modules_.pop_back();
        return ret;
    }
    h2k_module_set_running(raw->stub->module);
    return 0;
}

int Core::load_module(std::unique_ptr<Module> m, const std::vector<std::string>& args) {
    for (auto& other : modules_)
        if (other->name == m->name) {
            set_error("insmod: a module named " + m->name + " already exists");
            return -EEXIST;
        }
    if (int ret = open_module(*m)) return ret;
    std::string err = apply_params(args, read_info(*m), m->strings);
    if (!err.empty()) {
        dlclose(m->handle);
        set_error("insmod: " + m->name + ": " + err);
        return -EINVAL;
    }
    link_to_loaded(*m);
    return start_module(std::move(m));
}

int Core::rmmod(std::string_view name_arg, bool force) {
    std::string name(name_arg);
    set_error("");
    Process& proc = spawn("rmmod", nullptr, native_abi);
    long result = proc.call([&]() -> long {
        auto it = std::find_if(modules_.begin(), modules_.end(), [&](auto& m) { return m->name == name; });
        if (it == modules_.end()) {
            set_error("rmmod: module " + name + " is not loaded");
            return -ENOENT;
        }
        Module* m = it->get();
        std::string users;
        for (auto& other : modules_)
            if (std::find(other->uses.begin(), other->uses.end(), name) != other->uses.end())
                users += (users.empty() ? "" : " ") + other->name;
        if (!force) {
            if (!users.empty()) {
                set_error("rmmod: " + name + " is in use by " + users);
                return -EBUSY;
            }
            if (!m->stub->cleanup) {
                set_error("rmmod: " + name + " has no cleanup_module");
                return -EBUSY;
            }
        }
        if (h2k_module_begin_unload(m->stub->module) && !force) {
            set_error("rmmod: " + name + " is in use");
            return -EBUSY;
        }
        if (m->stub->cleanup) m->stub->cleanup();
        // A task the module left queued would run code and touch data
        // that are about to go: said in the log and taken off the queue.
        Dl_info self;
        if (dladdr(reinterpret_cast<const void*>(m->stub), &self) && self.dli_fbase) {
            auto inside = [](const void* p, void* base) -> int {
                Dl_info info;
                return p && dladdr(p, &info) && info.dli_fbase == base;
            };
            if (int n = h2k_tasks_drop(inside, self.dli_fbase)) {
                std::string line = "<3>bug: rmmod " + name + ": " + std::to_string(n) +
                                   " task(s) of the module still queued after its cleanup\n";
                k2h_log(line.data(), line.size());
            }
        }
        if (m->global_handle) dlclose(m->global_handle);
        dlclose(m->handle);
        modules_.erase(it);
        return 0;
    });
    exit(proc);
    return static_cast<int>(result);
}

std::vector<ModuleInfo> Core::lsmod() {
    std::vector<ModuleInfo> out;
    run_irq([&] {
        // As the box's lsmod: the module loaded last comes first.
        for (auto it = modules_.rbegin(); it != modules_.rend(); ++it) {
            auto& m = *it;
            ModuleInfo info;
            info.name = m->name;
            info.path = m->path;
            info.size = m->size;
            info.use_count = h2k_module_refs(m->stub->module);
            info.info = m->info;
            for (auto& other : modules_)
                if (std::find(other->uses.begin(), other->uses.end(), m->name) != other->uses.end())
                    info.used_by.push_back(other->name);
            out.push_back(std::move(info));
        }
    });
    return out;
}

}  // namespace kplat::detail
