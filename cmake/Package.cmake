# The Debian package (cpack -G DEB, run by scripts/package on a Release tree
# configured with ELO_PACKAGE_DATA): elo_VERSION_ARCH.deb, its dependencies
# found by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME elo)
set(CPACK_PACKAGE_VENDOR "Elo developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${ELO_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ELO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION editors)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The synopsis, and the long description (CPack indents it and marks the
# empty line).
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor of links files, with a batch tool")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Elo edits links files: text files that place link entries in a tree of
folders, each link written in a small command-list language. Keywords are
picked from binary interface libraries (.nlx). elo-tool does the same work
without a window, for scripts and CI: it reads, checks, normalizes, compares
and merges links files and reads interface libraries, printing JSON.

O Elo edita arquivos de links: arquivos de texto que colocam links numa
árvore de pastas, cada link escrito numa pequena linguagem de comandos. As
palavras-chave vêm de bibliotecas de interface binárias (.nlx). O elo-tool
faz o mesmo trabalho sem janela, para scripts e CI.")
include(CPack)
