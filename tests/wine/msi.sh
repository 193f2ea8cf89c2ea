# shellcheck shell=bash
# The package in a Wine prefix, for run_scenario.sh --msi (source it after
# prefix.sh, with WINEPREFIX set).
#   msi_install FILE LOG     msiexec /i FILE /qn; MSI_DIR: the install folder
#   msi_uninstall FILE LOG   msiexec /x FILE /qn
#   msi_products             the ProductCodes named Chanwiz in the uninstall
#                            list (Wine's uninstaller --list), one a line
#   msi_product_code FILE    the package's ProductCode (msiinfo)
#   msi_shortcut             MSI_SHORTCUT: the Start menu's Chanwiz.lnk; fails without one
# The package is 32-bit: in a 64-bit prefix its files go to Program Files (x86).

msi_install() {
    if [ "$PREFIX_ARCH" = win64 ]; then MSI_DIR="$WINEPREFIX/drive_c/Program Files (x86)/Morvex/Chanwiz"
    else MSI_DIR="$WINEPREFIX/drive_c/Program Files/Morvex/Chanwiz"; fi
    timeout -k 5 180 "$WINE" msiexec /i "$(wine_path "$1")" /qn >>"$2" 2>&1
}

msi_uninstall() {
    timeout -k 5 180 "$WINE" msiexec /x "$(wine_path "$1")" /qn >>"$2" 2>&1
}

msi_products() {
    timeout -k 5 60 "$WINE" uninstaller --list 2>/dev/null | tr -d '\r' | sed -n 's/^\({[^}]*}\)|||Chanwiz$/\1/p'
}

msi_product_code() {
    msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p'
}

# Windows puts a per-machine package's shortcut into the Start menu of all
# users; Wine 8 puts it into the installing user's. Either counts.
msi_shortcut() {
    MSI_SHORTCUT=$(find "$WINEPREFIX/drive_c/ProgramData" "$WINEPREFIX/drive_c/users" \
                   -ipath '*/Start Menu/Programs/Chanwiz.lnk' 2>/dev/null | head -1)
    [ -n "$MSI_SHORTCUT" ]
}
