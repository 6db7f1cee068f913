#!/usr/bin/env bash
# Runs a test with its settings file and the user's folders in a temporary folder that goes away
# after it, so that the suite writes neither into the build folder (the settings beside the
# program) nor into the home folder (journals). usage: in_scratch.sh TEST [ARGUMENTS...]
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
KLM704_SETTINGS_FILE=$scratch/options.xml XDG_CONFIG_HOME=$scratch/config \
    XDG_DATA_HOME=$scratch/data XDG_CACHE_HOME=$scratch/cache "$@"
