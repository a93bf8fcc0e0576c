#pragma once

// The skin component: holds one skin package, reads it into skin elements and hands itself to
// the process-wide skin manager, which paints the windows with it.

#include "skin/SkinElements.h"

#include <cstdint>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <vector>

class QWidget;
class TSkinData;

enum TSkinControlType {
    xcMainMenu,
    xcPopupMenu,
    xcToolbar,
    xcControlbar,
    xcCombo,
    xcCheckBox,
    xcRadioButton,
    xcProgress,
    xcScrollbar,
    xcEdit,
    xcButton,
    xcBitBtn,
    xcSpeedButton,
    xcPanel,
    xcGroupBox,
    xcStatusBar,
    xcTab,
    xcFastReport
};
using TSkinControls = std::set<TSkinControlType>;

enum TSkinFormtype { sfMainform, sfOnlyThisForm, sfDialog };

// Asked by the manager whether a window of class `aName` is skinned; DoSkin arrives true.
using TOnFormSkin = std::function<void(TSkinData* Sender, const std::string& aName, bool& DoSkin)>;
using TSkinNotifyEvent = std::function<void(TSkinData* Sender)>;

// Shows the package's version message modally. Replaceable so tests can see the text instead of
// a box; the default shows a QMessageBox (or writes to standard error without a GUI).
using TSkinMessageBox = std::function<void(const std::string& textGbk)>;

class TSkinData {
public:
    // The message shown for a package whose version is not 20000.
    static const std::string kOlderSkinMessage;

    // Registers with the skin manager. The component starts in the loading state (as when the
    // owner's stored description is being read): setting Active has no effect on the manager
    // until Loaded() ends that state.
    explicit TSkinData(QWidget* AOwner);
    ~TSkinData();
    TSkinData(const TSkinData&) = delete;
    TSkinData& operator=(const TSkinData&) = delete;

    QWidget* Owner() const { return owner_; }

    // Published properties.
    bool Active() const { return active_; }
    void SetActive(bool value);
    int DisableTag() const { return disableTag_; }
    void SetDisableTag(int value) { disableTag_ = value; }
    const TSkinControls& SkinControls() const { return skinControls_; }
    void SetSkinControls(TSkinControls value) { skinControls_ = std::move(value); }
    // "(none)" here: "(Good)" is shown at design time only. Setting it does nothing.
    std::string SkinStore() const { return "(none)"; }
    void SetSkinStore(const std::string&) {}
    TSkinFormtype SkinFormtype() const { return skinFormtype_; }
    void SetSkinFormtype(TSkinFormtype value) { skinFormtype_ = value; }
    const std::string& SkinFile() const { return skinFile_; }
    // Loads the package file at `value` (when it exists) instead of the stored one and asks the
    // manager to re-apply the skin.
    void SetSkinFile(const std::string& value);

    TOnFormSkin OnFormSkin;
    TSkinNotifyEvent OnSkinChanged;

    // Reads the stored property: a 32-bit little-endian count n, then n bytes of package
    // (n <= 0 stores nothing). The package is loaded at once. A damaged package is reported
    // through the default error report and leaves the component without a skin.
    void ReadSkinStream(std::span<const std::uint8_t> stored);
    // The stored property as written (count + package bytes).
    std::vector<std::uint8_t> WriteSkinStream() const;
    // The package bytes (compressed form).
    const std::vector<std::uint8_t>& Package() const { return package_; }

    // The owner's description has been read: turns Active off when no skin was read, or gives
    // the manager command 1 when Active is on.
    void Loaded();
    bool Loading() const { return loading_; }

    // Unpacks the package and reads its description into the skin elements. NoSkin stays true
    // when the package is of the wrong version, has too many entries or is damaged.
    void LoadPackage();

    bool NoSkin() const { return noSkin_; }
    const std::string& SkinName() const { return elements_.SkinName; }
    const TSkinElements& Elements() const { return elements_; }

    // The version message box, process-wide; returns the previous one. Empty restores the
    // default.
    static TSkinMessageBox SetMessageBox(TSkinMessageBox box);

private:
    QWidget* owner_;
    bool active_ = false;
    int disableTag_ = 99;
    TSkinControls skinControls_;
    TSkinFormtype skinFormtype_ = sfMainform;
    std::string skinFile_;
    std::vector<std::uint8_t> package_;
    bool loading_ = true;
    bool noSkin_ = true;
    TSkinElements elements_;
};

// The first 17 control kinds (all but xcFastReport): the set a new component starts with.
TSkinControls DefaultSkinControls();
