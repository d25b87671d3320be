// The settings dialog's rules over its view: filling, the change rules of each box, the address
// check and the save on OK, and the open-file request of Browse.
#include "dialog/main_dialog.h"

#include <cstdint>
#include <span>
#include <string>

#include "common/decimal.h"
#include "link/udp_transport.h"
#include "readers/file_types.h"
#include "settings/settings_file.h"
#include "shell/result_messages.h"

namespace vorlanth::dialog {

namespace {

// Read sizes of the boxes, in characters including the terminating one, as the dialog reads
// them: the address box holds at most 15 characters, so a read of 17 tells an over-long text.
constexpr std::size_t kAddressReadSize = 18;
constexpr std::size_t kPortReadSize = 8;
constexpr std::size_t kComPortReadSize = 5;
constexpr std::size_t kFileNameReadSize = 260;
constexpr std::size_t kAddressBoxCapacity = 15;
constexpr std::size_t kShortestAddress = 7;  // "1.2.3.4"
constexpr std::size_t kInitialNameArea = 280;

bool isNetwork(int linkType) {
    return linkType >= Network;
}

// Refills a list with its entries.
template <std::size_t N>
void fillList(DialogView& view, int controlId, const std::array<std::string_view, N>& entries) {
    view.resetList(controlId);
    for (std::string_view entry : entries) {
        view.addListEntry(controlId, entry);
    }
}

// Brings a number box into lowest..highest: a text that is no number, or a number below
// lowest (numbers from 2^31 up count as negative), becomes lowest; one above highest becomes
// highest; leading zeros are dropped. Each correction writes the box again, which runs its
// rule once more, nested. Returns the number the box stands for.
std::int32_t settleNumberBox(DialogView& view, int controlId, std::size_t readSize,
                             std::int32_t highest) {
    const std::optional<std::uint32_t> number = view.readNumber(controlId);
    const std::string text = view.readText(controlId, readSize);
    std::int32_t value = number ? static_cast<std::int32_t>(*number) : 0;
    if (!number || value < 1) {
        value = 1;
        view.setNumber(controlId, value, false);
    } else if (value > highest) {
        value = highest;
        view.setNumber(controlId, value, false);
    } else if (text.size() > 1 && text.front() == '0') {
        view.setNumber(controlId, value, false);
    }
    return value;
}

// COM port box: 1..255; only once the dialog has been filled. Any change forgets the cradle's
// remembered rate.
void onComPortChanged(Session& session, DialogView& view) {
    if (!session.settingsFormReady) {
        return;
    }
    session.link.cradleRate = 0;
    session.settings.comPort = settleNumberBox(view, control::kComPortBox, kComPortReadSize, 255);
}

// Address box: holds at most 15 characters. A longer text is set back to the address held
// (itself cut to 15 characters, so that a longer stored address settles instead of repeating).
void onAddressChanged(Session& session, DialogView& view) {
    std::string text = view.readText(control::kAddressBox, kAddressReadSize);
    if (text.size() > kAddressBoxCapacity) {
        text.resize(kAddressBoxCapacity);
        const std::string held(
            session.settings.targetAddress.view().substr(0, kAddressBoxCapacity));
        view.setText(control::kAddressBox, held);
    }
    session.settings.targetAddress.assignCut(text);
}

void onPortChanged(Session& session, DialogView& view) {
    session.settings.targetPort =
        static_cast<std::uint16_t>(settleNumberBox(view, control::kPortBox, kPortReadSize, 65535));
}

// OK is enabled when the boxes the link needs hold text: address, port and file name for the
// network, the file name otherwise.
void updateOkButton(Session& session, DialogView& view) {
    const bool hasAddress = !view.readText(control::kAddressBox, kAddressReadSize).empty();
    const bool hasPort = !view.readText(control::kPortBox, kPortReadSize).empty();
    const bool hasFileName = !view.readText(control::kFileNameBox, kFileNameReadSize).empty();
    view.enable(control::kOkButton, false);
    const bool network = isNetwork(session.settings.linkType);
    if ((network && hasAddress && hasPort && hasFileName) || (!network && hasFileName)) {
        view.enable(control::kOkButton, true);
    }
}

// A list's selection, or the field's old value when nothing is selected.
int selectionOr(DialogView& view, int controlId, int current) {
    const int selected = view.selectedListEntry(controlId);
    return selected >= 0 ? selected : current;
}

void onCommTypeNotified(Session& session, DialogView& view) {
    const int old = session.settings.linkType;
    session.settings.linkType = selectionOr(view, control::kCommTypeBox, old);
    if (session.settings.linkType != old) {
        session.link.cradleRate = 0;
    }
    fillMainDialog(session, view);
}

void onBrowse(Session& session, DialogView& view) {
    if (browseForProgramFile(session, view) == 0) {
        return;
    }
    view.selectListEntry(control::kFileTypeBox, session.settings.fileType);
    view.setText(control::kFileNameBox, session.settings.programPath.view());
}

// Takes the values into the settings, refusing an invalid network address, saves them and
// ends the dialog with OK.
void onOk(Session& session, DialogView& view) {
    UploadSettings& settings = session.settings;
    settings.linkType = selectionOr(view, control::kCommTypeBox, settings.linkType);
    settings.fileType = selectionOr(view, control::kFileTypeBox, settings.fileType);
    if (isNetwork(settings.linkType)) {
        const std::string address = view.readText(control::kAddressBox, kAddressReadSize);
        settings.targetAddress.assignCut(address);
        // The box's own rule first, then the address must name a terminal (a dotted quad, or
        // a host name that resolves); a refusal says why to front ends that can.
        const Result<link::Ipv4Address> resolved =
            address.size() < kShortestAddress || validateIpText(address) == 0
                ? Result<link::Ipv4Address>(FailureDetail{})
                : link::resolveTargetAddress(session.platform.sockets(), address);
        if (!resolved) {
            const FailureDetail why = resolved.failure();
            settings.targetAddress.clear();
            shell::showResultMessage(session.frontEnd, ResultCode::InvalidIpAddress, &why);
            return;
        }
        settings.targetPort =
            static_cast<std::uint16_t>(view.readNumber(control::kPortBox).value_or(0));
    } else {
        settings.comPort = static_cast<int>(view.readNumber(control::kComPortBox).value_or(0));
        settings.baudIndex = selectionOr(view, control::kBaudRateBox, settings.baudIndex);
    }
    saveSettings(session);
    view.endDialog(kDialogOk);
}

}  // namespace

void openMainDialog(Session& session, DialogView& view) {
    view.setCaption(kProgramCaption);
    fillMainDialog(session, view);
}

void fillMainDialog(Session& session, DialogView& view) {
    const UploadSettings& settings = session.settings;
    fillList(view, control::kCommTypeBox, kLinkTypeNames);
    view.selectListEntry(control::kCommTypeBox, settings.linkType);
    fillList(view, control::kBaudRateBox, kBaudRateNames);
    view.resetList(control::kFileTypeBox);
    for (const readers::FileTypeRow& type : readers::fileTypes()) {
        view.addListEntry(control::kFileTypeBox, type.listName);
    }
    view.selectListEntry(control::kFileTypeBox, settings.fileType);

    view.setText(control::kFileNameBox, settings.programPath.empty()
                                            ? session.programDirectory.view()
                                            : settings.programPath.view());
    view.setUpDownRange(control::kComPortUpDown, 1, 255);

    const bool serial = !isNetwork(settings.linkType);
    for (int id : {control::kComPortLabel, control::kBaudRateLabel, control::kComPortBox,
                   control::kComPortUpDown, control::kBaudRateBox}) {
        view.show(id, serial);
    }
    for (int id :
         {control::kAddressLabel, control::kPortLabel, control::kAddressBox, control::kPortBox}) {
        view.show(id, !serial);
    }
    session.settingsFormReady = true;

    // Each write below runs the rule of its box at once; the COM port rule therefore settles
    // the number into 1..255 and forgets the cradle's rate.
    if (serial) {
        view.setNumber(control::kComPortBox, settings.comPort, true);
        view.selectListEntry(control::kBaudRateBox, settings.baudIndex);
        view.enable(control::kOkButton, true);
    } else {
        // Copied first: the address rule rewrites targetAddress while the box is written.
        const std::string address = settings.targetAddress.str();
        view.setText(control::kAddressBox, address);
        view.enable(control::kOkButton, !address.empty());
        view.setNumber(control::kPortBox, settings.targetPort, false);
    }
    if (settings.alwaysOnTop == 1) {
        view.makeTopmost();
    }
}

void handleMainDialogCommand(Session& session, DialogView& view, int controlId,
                             Notification notification) {
    const bool changed = notification == Notification::Changed;
    const bool clicked = notification == Notification::Clicked;
    switch (controlId) {
        case control::kCommTypeBox:
            onCommTypeNotified(session, view);
            break;
        case control::kBaudRateBox:
            session.settings.baudIndex =
                selectionOr(view, control::kBaudRateBox, session.settings.baudIndex);
            break;
        case control::kFileTypeBox:
            session.settings.fileType =
                selectionOr(view, control::kFileTypeBox, session.settings.fileType);
            break;
        case control::kComPortBox:
            if (changed) {
                onComPortChanged(session, view);
            }
            break;
        case control::kAddressBox:
        case control::kPortBox:
        case control::kFileNameBox:
            if (changed) {
                if (controlId == control::kAddressBox) {
                    onAddressChanged(session, view);
                } else if (controlId == control::kPortBox) {
                    onPortChanged(session, view);
                }
                updateOkButton(session, view);
            }
            break;
        case control::kBrowseButton:
            if (clicked) {
                onBrowse(session, view);
            }
            break;
        case control::kOkButton:
            if (clicked) {
                onOk(session, view);
            }
            break;
        case control::kExitButton:
            if (clicked) {
                view.endDialog(kDialogExit);
            }
            break;
        default:
            break;
    }
}

int validateIpText(std::string_view address) {
    std::size_t at = 0;
    for (;;) {
        std::string_view piece;
        const std::size_t start = at;
        while (at < address.size() && address[at] != '.') {
            if (at - start == 3) {
                return 0;
            }
            ++at;
        }
        piece = address.substr(start, at - start);
        if (at < address.size()) {
            ++at;  // the "." that ends the piece
        }
        const std::int32_t value = leadingDecimal(piece);
        if (value < 0 || value > 255) {
            return 0;
        }
        if (at >= address.size()) {
            return 1;
        }
    }
}

int browseForProgramFile(Session& session, DialogView& view) {
    UploadSettings& settings = session.settings;
    const readers::FileTypeRow* current = readers::findFileType(settings.fileType);
    if (current == nullptr) {
        return 0;  // no such file type: nothing to offer
    }

    BrowseRequest request;
    const std::string path = settings.programPath.str();
    const std::optional<std::uint64_t> size =
        path.empty() ? std::nullopt : session.platform.files().fileSize(path);
    if (size && *size != 0) {
        request.initialName = path;
    } else {
        settings.programPath.clear();
        FixedText<kInitialNameArea - 1> initialName;
        initialName.assignCut(std::string(session.programDirectory.view()) +
                              std::string(kDefaultProgramBaseName) + "." +
                              std::string(current->filter.extension));
        request.initialName = initialName.str();
    }
    const std::span<const readers::FileTypeRow> types = readers::fileTypes();
    for (const readers::FileTypeRow& type : types) {
        request.filters.push_back(
            {std::string(type.filter.name), std::string(type.filter.pattern)});
    }
    request.filterIndex = settings.fileType + 1;
    request.defaultExtension = std::string(current->filter.extension);
    request.maxPathLength = 255;

    const std::optional<BrowseResult> chosen = view.requestOpenFile(request);
    if (!chosen) {
        return 0;
    }
    if (chosen->filterIndex >= 1 && static_cast<std::size_t>(chosen->filterIndex) <= types.size()) {
        settings.fileType = types[static_cast<std::size_t>(chosen->filterIndex - 1)].number;
    }
    settings.programPath.assignCut(chosen->path);
    return 1;
}

}  // namespace vorlanth::dialog
