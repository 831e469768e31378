// Writes the sample interface library of examples/: entries of kind 10 (the
// keywords the editor offers) among entries of other kinds.
//   make-sample-library OUT.nlx [FORMAT_VERSION]
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "NlxWriter.h"

using namespace elo::test;

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make-sample-library OUT.nlx [FORMAT_VERSION]\n");
        return 2;
    }
    NlxLibrarySpec plan;
    plan.Version = argc == 3 ? std::atoi(argv[2]) : 25;
    const char* keywords[] = {"clientes",
                              "fornecedores",
                              "vendas",
                              "compras",
                              "estoque",
                              "financeiro",
                              "relat\xF3rio",
                              "cadastro",
                              "consulta",
                              "movimenta\xE7\xE3o",
                              "pre\xE7os",
                              "comiss\xF5"
                              "es",
                              "notas fiscais",
                              "cobran\xE7"
                              "a",
                              "invent\xE1rio"};
    const char* areas[] = {"Comercial", "Suprimentos", "Gestao"};
    int i = 0;
    for (const char* keyword : keywords) {
        NlxEntrySpec e = SimpleEntry(areas[i % 3], keyword, 10, 1 + i % 3);
        e.Text1 = std::string("Palavra-chave ") + keyword;
        plan.Entries.push_back(e);
        ++i;
    }
    // Entries of other kinds, which the keyword picker leaves out.
    for (const char* name : {"Clientes", "Pedidos", "Titulos"}) {
        plan.Entries.push_back(SimpleEntry("Tabelas", name, 3, 4));
        plan.Entries.push_back(SimpleEntry("Rotinas", name, 7, 2));
    }
    // Stored in another order than the directory lists them.
    for (size_t k = plan.Entries.size(); k-- > 0;) plan.FileOrder.push_back(k);
    std::ofstream(argv[1], std::ios::binary) << WriteNlx(plan);
    return 0;
}
