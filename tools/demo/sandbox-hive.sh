# The sandbox's machine hive, for tools/demo-update.sh and bench/update-bench.sh (sourced):
#
#   demo_machine_hive FILE PRODUCT-FOLDER ENDPOINT ROOTS-FOLDER [SETTING-LINE...]
#
# Vimbly "installed" in PRODUCT-FOLDER, the administrator's overrides of the updater (the
# check endpoint, the folder of trusted roots), and the demo installer's settings, each
# a line of the hive format ("ExitCode"=dword:00000000). The file is the runner's own and
# not writable by others, as the updater requires of a hive whose overrides it takes.
demo_machine_hive() {
  local file=$1 product=$2 endpoint=$3 roots=$4
  shift 4
  {
    printf 'Windows Registry Editor Version 5.00\n\n'
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvale Corporation\\Vimbly]\n'
    printf '"InstalledLocation"="%s/"\n"InstalledLanguage"="1033"\n\n' "$product"
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvale Corporation\\Vimbly\\Updater]\n'
    printf '"CheckEndpoint"="%s"\n"TrustedRootsFolder"="%s"\n\n' "$endpoint" "$roots"
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvale Corporation\\Vimbly\\DemoInstaller]\n'
    printf '%s\n' "$@"
  } >"$file"
  chmod 0644 "$file"
}
