// The camera's shoot setups as the controller keeps them: the list, the name of the default
// setup, and whether the camera's setups carry the extended fields (Prefix, ICCFlag).
#pragma once

#include "app/controller/ShootSetup.h"
#include "app/controller/SimpleArray.h"

#include <string>
#include <string_view>

class CShootSetups {
public:
    SimpleArray<CShootSetup>& List() { return m_saSetups; }
    const SimpleArray<CShootSetup>& List() const { return m_saSetups; }
    int32_t Count() const { return m_saSetups.GetArrLength(); }

    const std::u16string& DefaultName() const { return m_strDefaultSetup; }
    void SetDefaultName(std::u16string name) { m_strDefaultSetup = std::move(name); }
    bool IsExtended() const { return m_bExtended; }
    void SetExtended(bool extended) { m_bExtended = extended; }

    // Forgets every setup and the extended flag; the default name stays.
    void Clear();
    // Reads the value of a ShootSetup attribute: setups separated by ";", fields by ",", each
    // field key "=" value. Appends one record per setup.
    void Parse(std::u16string_view value);

    // Index of the setup of that name, -1 when none; ignoring case unless exact is set.
    int32_t Find(std::u16string_view name, bool exact = false) const;
    // The setup named by the default setup name (ignoring case), or null.
    CShootSetup* DefaultSetup();
    const CShootSetup* DefaultSetup() const;

    // Index of the user copy (name + ".1") of the setup `name`, created or refreshed from it; -1
    // when there is no such setup.
    int32_t CopySetup(std::u16string_view name);

    // Every setup without a shooting folder gets this one.
    void FillEmptyShootingFolders(const std::u16string& folder);
    // The "no setup at all" default: one setup "Default" shooting into "./Orin DM A/".
    void AddDefaultSetupIfEmpty();

    // True (and the message set) when the folder path occurs in some setup's shooting folder.
    bool IsShootingFolder(std::u16string_view folder, std::u16string& message) const;
    // False (and the message set) when the default setup's shooting folder lies on that disk.
    bool CanFormatPartition(std::u16string_view disk, std::u16string& message) const;

    // Changes a field of the default setup; a predefined default is first copied to its user copy
    // (name + ".1"), which becomes the default. A Light value new to lightList is added to it.
    // False when the text is refused (message says why) or there is no default setup.
    bool SetImgProp(int field, const std::u16string& value, SimpleArray<std::u16string>* lightList,
                    std::u16string* message);
    // What saving sends to the camera: DefaultShootSetup with the name of a predefined default,
    // ShootSetup with the setup string of a user copy. False when there is nothing to send or a
    // field holds text the command cannot carry (reason says which).
    bool BuildSaveAttribute(std::u16string& name, std::u16string& value, std::u16string& reason) const;

    // A text typed by the user for a setup field. The camera's command text is not escaped and
    // the setup string uses "," ";" "=" as separators, so such characters would break the
    // command or corrupt every later field; they are refused with a message naming the culprit.
    static bool IsAcceptableFieldText(int field, std::u16string_view value, std::u16string& message);

private:
    SimpleArray<CShootSetup> m_saSetups;
    std::u16string m_strDefaultSetup;
    bool m_bExtended = false;
};
