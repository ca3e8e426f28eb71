# Puts a folder link into the uninstaller test's cache: HOME/Temporary Internet Files/Content.IE5/
# linked leads to HOME/outside, which the test fills with a cabinet the scan must never reach.
file(MAKE_DIRECTORY "${HOME}/Temporary Internet Files/Content.IE5" "${HOME}/outside" "${HOME}/Temp")
file(REMOVE "${HOME}/Temporary Internet Files/Content.IE5/linked")
file(CREATE_LINK "${HOME}/outside" "${HOME}/Temporary Internet Files/Content.IE5/linked" SYMBOLIC)
