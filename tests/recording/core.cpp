#include <map>

#include "recording.h"
#include "recording_internal.h"

namespace recording {

namespace {

struct FailureRule {
    std::string key;
    int first;
    int last;
    HRESULT hr;
};

struct Core {
    std::vector<std::string> calls;
    std::vector<std::string> violations;
    std::map<std::string, int> counts;
    std::vector<FailureRule> rules;
    std::vector<Object*> objects;  // every object ever made, never freed
    int next_id = 1;
};

Core& core()
{
    static Core* state = new Core;  // never destroyed: objects may be released during exit
    return *state;
}

}  // namespace

void reset()
{
    Core& c = core();
    c.calls.clear();
    c.violations.clear();
    c.counts.clear();
    c.rules.clear();
    reset_window();
    reset_timer();
    reset_device();
    reset_compiler();
}

const std::vector<std::string>& calls() { return core().calls; }

void log_call(const std::string& entry)
{
    std::string printed = poll_stdout();
    if (!printed.empty()) core().calls.push_back("stdout: " + printed);
    core().calls.push_back(entry);
}

std::vector<std::string> calls_starting_with(std::initializer_list<const char*> prefixes)
{
    log_call("");  // flushes pending output into the log
    core().calls.pop_back();
    std::vector<std::string> found;
    for (const std::string& call : core().calls) {
        for (const char* prefix : prefixes) {
            if (call.rfind(prefix, 0) == 0) {
                found.push_back(call);
                break;
            }
        }
    }
    return found;
}

int count_calls(const char* prefix) { return (int)calls_starting_with({prefix}).size(); }

void fail_call(const std::string& key, int first, int last, HRESULT hr)
{
    core().rules.push_back({key, first, last < 0 ? first : last, hr});
}

HRESULT scripted_result(std::initializer_list<std::string> keys)
{
    HRESULT result = S_OK;
    for (const std::string& key : keys) {
        int n = ++core().counts[key];
        for (const FailureRule& rule : core().rules) {
            if (rule.key == key && n >= rule.first && n <= rule.last && result == S_OK) result = rule.hr;
        }
    }
    return result;
}

int counted_calls(const std::string& key)
{
    auto it = core().counts.find(key);
    return it == core().counts.end() ? 0 : it->second;
}

void violation(const std::string& what)
{
    core().violations.push_back(what);
    log_call("VIOLATION: " + what);
}

const std::vector<std::string>& violations() { return core().violations; }

// ---- Objects ----

Object::Object(const char* kind, Object* container) : kind_(kind), container_(container)
{
    name_ = kind_ + "#" + std::to_string(core().next_id++);
    if (container_) refs_ = 0;
    core().objects.push_back(this);
}

ULONG Object::refs() const { return container_ ? container_->refs() : refs_; }
ULONG Object::bindings() const { return container_ ? container_->bindings() : bindings_; }
bool Object::destroyed() const { return container_ ? container_->destroyed() : destroyed_; }

bool Object::usable(const char* call) const
{
    if (!destroyed()) return true;
    violation(std::string(call) + " on destroyed " + name_);
    return false;
}

ULONG Object::add_ref()
{
    if (!usable("AddRef")) return 0;
    if (container_) return container_->add_ref();
    return ++refs_;
}

ULONG Object::release()
{
    if (!usable("Release")) return 0;
    Object* owner = container_ ? container_ : this;
    if (owner->refs_ == 0) {
        violation("Release of " + name_ + " with no reference left");
        return 0;
    }
    ULONG left = --owner->refs_;
    log_call("Release(" + name_ + ") = " + std::to_string(left));
    owner->destroy_if_unused();
    return left;
}

void Object::bind()
{
    if (container_) return container_->bind();
    ++bindings_;
}

void Object::unbind()
{
    if (container_) return container_->unbind();
    if (bindings_ == 0) {
        violation("unbinding " + name_ + " which is not bound");
        return;
    }
    --bindings_;
    destroy_if_unused();
}

void Object::destroy_if_unused()
{
    if (destroyed_ || refs_ != 0 || bindings_ != 0) return;
    destroyed_ = true;
    log_call("Destroy(" + name_ + ")");
    on_destroy();
}

Object* object_of(IUnknown* object) { return object ? dynamic_cast<Object*>(object) : nullptr; }

std::string name_of(IUnknown* object)
{
    if (!object) return "NULL";
    Object* o = object_of(object);
    return o ? o->name() : "(not a recording object)";
}

std::vector<Object*> live_objects()
{
    std::vector<Object*> live;
    for (Object* o : core().objects) {
        if (!o->destroyed()) live.push_back(o);
    }
    return live;
}

std::vector<Object*> take_leaked_objects()
{
    std::vector<Object*> leaked;
    for (Object* o : core().objects) {
        if (!o->container_ && !o->destroyed_ && !o->reported_) {
            o->reported_ = true;
            leaked.push_back(o);
        }
    }
    return leaked;
}

}  // namespace recording
