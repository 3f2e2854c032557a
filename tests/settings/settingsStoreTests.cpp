// The typed surface against the fifty operations: the same stored bytes both ways, on both
// backends, and the owners' opening, binding and failures.
#include "settings/settingsStore.h"

#include "tests/settings/settingsFileTesting.h"
#include "tests/testing/scratchRegistry.h"
#include "tests/testing/tempFolder.h"

#include <climits>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

// One value under the name "v": set through the surface, or written by its operation.
struct interopRow {
    const char* type;
    std::function<settingsResult(settingsStore&)> setTyped;
    std::function<int(readWriteSettings&)> writeOperations;
    std::function<bool(const settingsStore&)> getTyped; // true when get finds the value
};

template <class T>
interopRow row(const char* type, T value, std::function<int(readWriteSettings&)> write) {
    return {type, [=](settingsStore& s) { return s.set(L"v", value); }, write,
            [=](const settingsStore& s) { return s.get<T>(L"v") == value; }};
}

std::vector<interopRow> interopRows() {
    const wchar_t* text = L"caf\u00e9 \u263A";
    const std::vector<std::wstring> list = {L"a", L"b c", L"\u00e9"};
    return {
        row("wstring", std::wstring(text),
            [=](auto& s) { return s.writeString(nullptr, L"v", stubString(text)); }),
        row("empty wstring", std::wstring(),
            [](auto& s) { return s.writeString(nullptr, L"v", stubString(L"")); }),
        row("uint32", std::uint32_t{0xFFFFFFFF},
            [](auto& s) { return s.writeDword(nullptr, L"v", 0xFFFFFFFF); }),
        row("DWORD", DWORD{7}, [](auto& s) { return s.writeDword(nullptr, L"v", 7); }),
        row("int32", std::int32_t{INT_MIN},
            [](auto& s) { return s.writeInt(nullptr, L"v", INT_MIN); }),
        row("int64", std::int64_t{LLONG_MIN},
            [](auto& s) { return s.writeInt64(nullptr, L"v", LLONG_MIN); }),
        row("uint64", std::uint64_t{ULLONG_MAX},
            [](auto& s) { return s.writeUInt64(nullptr, L"v", ULLONG_MAX); }),
        row("double", -1.5e300, [](auto& s) { return s.writeDouble(nullptr, L"v", -1.5e300); }),
        row("bool true", true, [](auto& s) { return s.writeInt(nullptr, L"v", 1); }),
        row("bool false", false, [](auto& s) { return s.writeInt(nullptr, L"v", 0); }),
        row("list", list,
            [](auto& s) {
                return s.writeStringList(nullptr, L"v", {L"a", L"b c", L"\u00e9"});
            }),
        row("empty list", std::vector<std::wstring>(),
            [](auto& s) { return s.writeStringList(nullptr, L"v", {}); }),
    };
}

// Every value of a key as one text: name, type and bytes, in name order.
std::string imageOfKey(HKEY key) {
    std::map<std::wstring, std::string> values;
    wchar_t name[16384];
    char data[4096];
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = 16384;
        DWORD type = 0;
        DWORD size = sizeof(data);
        if (::RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                            reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
            break;
        values[std::wstring(name, nameLength)] =
            std::to_string(type) + ':' + std::string(data, size);
    }
    std::string image;
    for (const auto& [valueName, value] : values)
        image += std::string(valueName.begin(), valueName.end()) + '=' + value + '\n';
    return image;
}

// Opens a fresh store by tag and tells what it holds after its save, as bytes comparable
// across two stores.
struct backend {
    const char* name;
    std::function<std::unique_ptr<settingsStore>(const std::wstring& tag)> open;
    std::function<std::string(settingsStore&)> stored;
};

class settingsStoreTest : public scratchRegistry {
protected:
    std::vector<backend> backends() {
        return {
            {"file",
             [this](const std::wstring& tag) {
                 ::DeleteFileW((folder / tag).c_str());
                 return std::make_unique<settingsFile>(folder / tag);
             },
             [](settingsStore& s) {
                 EXPECT_TRUE(s.save());
                 return readWholeFile(static_cast<settingsFile&>(s).path());
             }},
            {"registry",
             [](const std::wstring& tag) {
                 const std::wstring path = L"Software\\" + tag;
                 ::RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
                 return std::make_unique<registrySettings>(HKEY_CURRENT_USER, path,
                                                           settingsAccess::write);
             },
             [](settingsStore& s) { return imageOfKey(static_cast<registrySettings&>(s).key()); }},
        };
    }

    tempFolder folder;
};

} // namespace

TEST_F(settingsStoreTest, aTypedValueIsStoredExactlyAsItsOperationStoresIt) {
    for (const backend& b : backends()) {
        for (const interopRow& row : interopRows()) {
            SCOPED_TRACE(std::string(b.name) + ", " + row.type);
            auto typed = b.open(L"typed");
            auto old = b.open(L"old");
            ASSERT_TRUE(row.setTyped(*typed));
            ASSERT_EQ(1, row.writeOperations(*old->operations()));
            // The same bytes: the operations read the typed value as they read their own.
            EXPECT_EQ(b.stored(*old), b.stored(*typed));
            EXPECT_TRUE(row.getTyped(*old));
        }
    }
}

TEST_F(settingsStoreTest, getFindsNothingWhereTheOperationsFindNothing) {
    for (const backend& b : backends()) {
        SCOPED_TRACE(b.name);
        auto store = b.open(L"reads");
        readWriteSettings& s = *store->operations();
        ASSERT_TRUE(s.writeCString(nullptr, L"text", L"some text"));
        EXPECT_FALSE(store->get<std::int32_t>(L"missing"));
        EXPECT_FALSE(store->get<std::vector<std::wstring>>(L"missing")) << "absent, not empty";
        EXPECT_FALSE(store->get<std::int64_t>(L"text")) << "the text is wider";
        EXPECT_EQ(42, store->value(L"missing", 42));
        EXPECT_EQ(L"fallback", store->value(L"missing", L"fallback"));
        EXPECT_EQ(L"some text", store->value(L"text", L"fallback"));
        EXPECT_FALSE(store->get<std::wstring>(std::wstring(L"text\0x", 6)));
    }
}

TEST_F(settingsStoreTest, setRefusesWhatWouldBeStoredCutAndReportsTheSystemsCode) {
    for (const backend& b : backends()) {
        SCOPED_TRACE(b.name);
        auto store = b.open(L"refusals");
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER),
                  store->set(std::wstring(L"a\0b", 3), 1).error());
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER),
                  store->set(L"a", std::wstring(L"x\0y", 3)).error());
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER),
                  store->set(L"a", std::vector<std::wstring>{std::wstring(1, L'\0')}).error());
        EXPECT_FALSE(store->get<std::int32_t>(L"a"));
    }
    ASSERT_TRUE(registrySettings(HKEY_CURRENT_USER, L"Software\\Fixed", settingsAccess::write)
                    .set(L"n", 0));
    registrySettings reader(HKEY_CURRENT_USER, L"Software\\Fixed", settingsAccess::read);
    ASSERT_TRUE(reader.openResult());
    const settingsResult denied = reader.set(L"n", 1);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), denied.error());
    EXPECT_FALSE(denied.message().empty());
    // The list operation does not count its count's write in its result.
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED),
              reader.set(L"list", std::vector<std::wstring>{}).error());
}

TEST_F(settingsStoreTest, aKeyOpenedForReadingMustExistAndIsNeverCreated) {
    registrySettings missing(HKEY_CURRENT_USER, L"Software\\Absent\\Key", settingsAccess::read);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), missing.openResult().error());
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, L"Software\\Absent"));
    EXPECT_FALSE(missing.get<std::wstring>(L"v"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), missing.set(L"v", 1).error());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), missing.save().error());

    registrySettings writer(HKEY_CURRENT_USER, L"Software\\Absent\\Key", settingsAccess::write);
    ASSERT_TRUE(writer.openResult());
    ASSERT_TRUE(writer.set(L"v", L"text"));
    EXPECT_EQ(L"text", readRawValue(HKEY_CURRENT_USER, L"Software\\Absent\\Key", L"v").text());
}

TEST_F(settingsStoreTest, aSettingsFileSavesToTheNameItWasOpenedWith) {
    const std::wstring path = folder / L"bound.settings";
    {
        settingsFile file(path);
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), file.loadResult().error());
        ASSERT_TRUE(file.set(L"a", 1));
    } // the destructor saves
    settingsFile moved = settingsFile(path);
    ASSERT_TRUE(moved.loadResult());
    EXPECT_EQ(1, moved.value(L"a", 0));
    ASSERT_TRUE(moved.set(L"b", 2));
    settingsFile target(folder / L"other.settings");
    target = std::move(moved); // other.settings is saved as it goes
    ASSERT_TRUE(target.save());
    EXPECT_EQ(2, settingsFile(path).value(L"b", 0));
    EXPECT_EQ(encodeImage({}), readWholeFile(folder / L"other.settings"));

    // A file that could not be read is not saved over, also after it becomes readable.
    uniqueFileHandle held(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    settingsFile blocked(path);
    held.reset();
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), blocked.loadResult().error());
    ASSERT_TRUE(blocked.set(L"a", 5));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), blocked.save().error());
    blocked.file()->setFileName(
        static_cast<const wchar_t*>(nullptr)); // no second attempt at destruction
    EXPECT_EQ(1, settingsFile(path).value(L"a", 0));

    settingsFile unreachable(folder / L"missing\\x.settings");
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), unreachable.save().error());
    unreachable.file()->setFileName(static_cast<const wchar_t*>(nullptr));
}
