// Names shared by the installer, the uninstaller and the application's pages.
import * as env from "@env";
import { AppVersion, ProcessName } from "/common/js/brandconfig.js";

export const gAppNameEn = "Tidewell";
export const gAppNameCn = "潮井";
export const gAppVersion = AppVersion;
export const gProcessName = ProcessName;

export const UninstallRegistry = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

export const INSTALLER_EXE_NAME = gAppNameEn + "-installer.exe";
export const APP_EXE_NAME = gAppNameEn + "-app.exe";
export const UNSTALLER_EXE_NAME = gAppNameEn + "-unstaller.exe";
// The launchers' icon beside the programs (desktops other than Windows show a PNG).
export const ICON_FILE_NAME = gAppNameEn + ".png";

export const IS_WINDOWS = env.PLATFORM === "Windows";
// The folder separator the platform shows to users and writes into the registry.
export const PATH_SEPARATOR = IS_WINDOWS ? "\\" : "/";
// A desktop shortcut is a shell link on Windows and a desktop entry elsewhere.
export const SHORTCUT_SUFFIX = IS_WINDOWS ? ".lnk" : ".desktop";
