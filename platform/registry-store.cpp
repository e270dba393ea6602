// The settings store: HKCU in memory or in the settings file, HKLM from the
// state provider and an optional read-only file.
//
// The file backend keeps every key of the file, whatever its root, and writes
// them all back in their order, followed by keys created since. HKCU keys are
// those under "HKEY_CURRENT_USER\". HKLM reads look at the state provider
// first, then at the file named by $KRA_HKLM_FILE (its
// "HKEY_LOCAL_MACHINE\..." keys; read when RegistryOpenFile runs).
//
// When the file had lines that could not be parsed, its original bytes are
// saved once as "<file>.bad" before the first rewrite drops them, so nothing
// typed by hand is lost for good. A file that exists but cannot be read is
// never overwritten: flushes fail instead.
//
// Every function takes one mutex: the store is meant for the main thread,
// but a stray read from a worker must not crash it.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/files.h"
#include "platform/registry-file.h"
#include "platform/registry.h"

namespace kra::platform {

namespace {

constexpr std::u16string_view kCurrentUser = u"HKEY_CURRENT_USER";
constexpr std::u16string_view kLocalMachine = u"HKEY_LOCAL_MACHINE";
// A settings file larger than this is not a settings file; it is moved aside.
constexpr uint64_t kMaxFileBytes = 16 * 1024 * 1024;

struct Store {
    std::mutex mutex;
    std::string path;  // empty: memory only
    std::vector<RegFileKey> keys;
    std::vector<RegFileKey> machineFile;
    std::vector<RegFileKey> state;
    bool dirty = false;
    bool readFailed = false;
    std::vector<uint8_t> backup;  // the damaged original, saved at the first flush
    RegistryLoadReport report;
};

Store& TheStore() {
    static Store* store = new Store;  // lives until exit: workers may still read
    return *store;
}

std::u16string FullPath(std::u16string_view root, const std::u16string& key) {
    std::u16string path(root);
    for (size_t i = 0; i < key.size();) {
        size_t end = key.find(u'\\', i);
        if (end == std::u16string::npos) end = key.size();
        if (end > i) {
            path += u'\\';
            path.append(key, i, end - i);
        }
        i = end + 1;
    }
    return path;
}

RegFileKey* FindKey(std::vector<RegFileKey>& keys, const std::u16string& fullPath) {
    const std::u16string folded = FoldKeyPath(fullPath);
    for (RegFileKey& key : keys) {
        if (FoldKeyPath(key.path) == folded) return &key;
    }
    return nullptr;
}

// True when the key or one below it is present.
bool HasKeyOrChild(const std::vector<RegFileKey>& keys, const std::u16string& fullPath) {
    const std::u16string folded = FoldKeyPath(fullPath);
    for (const RegFileKey& key : keys) {
        const std::u16string other = FoldKeyPath(key.path);
        if (other.size() >= folded.size() && other.compare(0, folded.size(), folded) == 0 &&
            (other.size() == folded.size() || other[folded.size()] == u'\\'))
            return true;
    }
    return false;
}

RegFileValue* FindValue(RegFileKey& key, const std::u16string& name) {
    for (RegFileValue& value : key.values) {
        if (SameValueName(value.name, name)) return &value;
    }
    return nullptr;
}

const RegFileValue* FindValueIn(std::vector<RegFileKey>& keys, const std::u16string& fullPath,
                                const std::u16string& name) {
    RegFileKey* key = FindKey(keys, fullPath);
    return key == nullptr ? nullptr : FindValue(*key, name);
}

bool ValidKey(const std::u16string& key) {
    return IsWritableName(key) && !FoldKeyPath(key).empty();
}

std::vector<RegFileKey> KeysUnderRoot(std::vector<RegFileKey> keys, std::u16string_view root) {
    const std::u16string prefix = FoldKeyPath(std::u16string(root)) + u'\\';
    std::vector<RegFileKey> out;
    for (RegFileKey& key : keys) {
        if (FoldKeyPath(key.path).starts_with(prefix)) out.push_back(std::move(key));
    }
    return out;
}

std::string PosixParentOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return {};
    return path.substr(0, slash);
}

void MakeFolders(const std::string& posix) {
    for (size_t pos = 1; pos <= posix.size(); ++pos) {
        if (pos == posix.size() || posix[pos] == '/') mkdir(posix.substr(0, pos).c_str(), 0777);
    }
}

void ResetLocked(Store& store) {
    store.path.clear();
    store.keys.clear();
    store.machineFile.clear();
    store.dirty = false;
    store.readFailed = false;
    store.backup.clear();
    store.report = {};
}

}  // namespace

std::string DefaultRegistryPath() {
    const char* config = getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') return std::string(config) + "/kra/registry.reg";
    const char* home = getenv("HOME");
    const std::string base = (home != nullptr && home[0] == '/') ? home : "/tmp";
    return base + "/.config/kra/registry.reg";
}

void RegistryUseMemory() {
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    ResetLocked(store);
}

void RegistryOpenFile(const std::string& posixPath) {
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    ResetLocked(store);
    store.path = posixPath;
    const std::u16string corePath = FromPosixPath(posixPath);
    std::vector<uint8_t> bytes;
    if (FileExists(corePath)) {
        store.report.fileFound = true;
        if (!ReadFileBytes(corePath, bytes, kMaxFileBytes + 1)) {
            store.readFailed = true;
        } else if (bytes.size() > kMaxFileBytes) {
            // Not loaded; moved aside so that the next flush does not lose it.
            bytes.clear();
            std::rename(posixPath.c_str(), (posixPath + ".bad").c_str());
            store.report.droppedLines = 1;
        }
    }
    RegFileModel model = ParseRegistryFile(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    store.report.headerFound = model.hasHeader;
    store.report.droppedLines += model.droppedLines;
    store.report.keys = model.keys.size();
    for (const RegFileKey& key : model.keys) store.report.values += key.values.size();
    if (model.droppedLines > 0) store.backup = std::move(bytes);
    store.keys = std::move(model.keys);

    const char* machine = getenv("KRA_HKLM_FILE");
    if (machine != nullptr && machine[0] != '\0') {
        std::vector<uint8_t> machineBytes;
        if (ReadFileBytes(FromPosixPath(machine), machineBytes, kMaxFileBytes)) {
            RegFileModel machineModel = ParseRegistryFile(std::string_view(
                reinterpret_cast<const char*>(machineBytes.data()), machineBytes.size()));
            store.machineFile = KeysUnderRoot(std::move(machineModel.keys), kLocalMachine);
        }
    }
}

RegistryLoadReport RegistryLastLoad() {
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    return store.report;
}

bool RegKeyExists(RegRoot root, const std::u16string& key) {
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    if (root == RegRoot::CurrentUser) return HasKeyOrChild(store.keys, FullPath(kCurrentUser, key));
    const std::u16string full = FullPath(kLocalMachine, key);
    return HasKeyOrChild(store.state, full) || HasKeyOrChild(store.machineFile, full);
}

bool RegCreateKey(RegRoot root, const std::u16string& key) {
    if (root != RegRoot::CurrentUser || !ValidKey(key)) return false;
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    const std::u16string full = FullPath(kCurrentUser, key);
    if (FindKey(store.keys, full) == nullptr) {
        store.keys.push_back(RegFileKey{full, {}});
        store.dirty = true;
    }
    return true;
}

bool RegDeleteKey(RegRoot root, const std::u16string& key) {
    if (root != RegRoot::CurrentUser || FoldKeyPath(key).empty()) return false;
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    const std::u16string folded = FoldKeyPath(FullPath(kCurrentUser, key));
    const size_t before = store.keys.size();
    std::erase_if(store.keys, [&](const RegFileKey& k) {
        const std::u16string other = FoldKeyPath(k.path);
        return other.starts_with(folded) &&
               (other.size() == folded.size() || other[folded.size()] == u'\\');
    });
    if (store.keys.size() == before) return false;
    store.dirty = true;
    return true;
}

bool RegQueryValue(RegRoot root, const std::u16string& key, const std::u16string& name,
                   uint32_t bufferSize, RegValue& out) {
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    const RegFileValue* value = nullptr;
    if (root == RegRoot::CurrentUser) {
        value = FindValueIn(store.keys, FullPath(kCurrentUser, key), name);
    } else {
        const std::u16string full = FullPath(kLocalMachine, key);
        value = FindValueIn(store.state, full, name);
        if (value == nullptr) value = FindValueIn(store.machineFile, full, name);
    }
    // Sized read: a value larger than the buffer fails; the type is not checked.
    if (value == nullptr || value->data.size() > bufferSize) return false;
    out.type = value->type;
    out.data = value->data;
    return true;
}

bool RegSetValue(RegRoot root, const std::u16string& key, const std::u16string& name, uint32_t type,
                 const std::vector<uint8_t>& data) {
    if (root != RegRoot::CurrentUser || !ValidKey(key) || !IsWritableName(name)) return false;
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    const std::u16string full = FullPath(kCurrentUser, key);
    RegFileKey* target = FindKey(store.keys, full);
    if (target == nullptr) {
        store.keys.push_back(RegFileKey{full, {}});
        target = &store.keys.back();
    }
    if (RegFileValue* value = FindValue(*target, name)) {
        if (value->type == type && value->data == data) return true;
        value->type = type;
        value->data = data;
    } else {
        target->values.push_back(RegFileValue{name, type, data});
    }
    store.dirty = true;
    return true;
}

bool RegDeleteValue(RegRoot root, const std::u16string& key, const std::u16string& name) {
    if (root != RegRoot::CurrentUser) return false;
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    RegFileKey* target = FindKey(store.keys, FullPath(kCurrentUser, key));
    if (target == nullptr) return false;
    const size_t removed = std::erase_if(
        target->values, [&](const RegFileValue& value) { return SameValueName(value.name, name); });
    if (removed == 0) return false;
    store.dirty = true;
    return true;
}

bool RegFlush() {
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    if (store.path.empty()) {
        store.dirty = false;
        return true;
    }
    if (store.readFailed) return false;
    if (!store.dirty) return true;
    const std::string folder = PosixParentOf(store.path);
    if (!folder.empty()) MakeFolders(folder);
    if (!store.backup.empty()) {
        if (!WriteFileAtomic(FromPosixPath(store.path + ".bad"), store.backup)) return false;
        store.backup.clear();
    }
    const std::string text = FormatRegistryFile(store.keys);
    if (!WriteFileAtomic(FromPosixPath(store.path), std::vector<uint8_t>(text.begin(), text.end())))
        return false;
    store.dirty = false;
    return true;
}

void RegSetStateValue(const std::u16string& key, const std::u16string& name,
                      const RegValue& value) {
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    const std::u16string full = FullPath(kLocalMachine, key);
    RegFileKey* target = FindKey(store.state, full);
    if (value.type == kRegNone) {
        if (target != nullptr) {
            std::erase_if(target->values,
                          [&](const RegFileValue& v) { return SameValueName(v.name, name); });
            if (target->values.empty())
                std::erase_if(store.state, [&](const RegFileKey& k) { return &k == target; });
        }
        return;
    }
    if (target == nullptr) {
        store.state.push_back(RegFileKey{full, {}});
        target = &store.state.back();
    }
    if (RegFileValue* existing = FindValue(*target, name)) {
        existing->type = value.type;
        existing->data = value.data;
    } else {
        target->values.push_back(RegFileValue{name, value.type, value.data});
    }
}

void RegClearState() {
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    store.state.clear();
}

}  // namespace kra::platform
