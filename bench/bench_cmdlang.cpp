// Tokenizing and parsing realistic link strings: targets with tags, quoted
// captions with accents, nested "link" tags in braces, bracket forms.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "cmdlang/LnkUtils.h"
#include "cmdlang/Scanner.h"

using namespace elo;

namespace {

std::vector<std::string> RealisticLinks(size_t count) {
    static const char* targets[] = {"CadClientes",  "frmPedidos.Abrir",  "Relatorios.Vendas_Mes",
                                    "TabelaPrecos", "Estoque#Movimento", "Financeiro.ContasPagar"};
    static const char* captions[] = {
        "Cadastro de clientes",          "Pedidos em aberto", "Relat\xF3rio de vendas (m\xEAs)", "Tabela de pre\xE7os",
        "Movimenta\xE7\xE3o de estoque", "Contas a pagar"};
    std::mt19937 rng(42);
    std::vector<std::string> links;
    for (size_t i = 0; i < count; ++i) {
        const auto t = rng() % 6, c = rng() % 6;
        std::string s = "link={";
        s += targets[t];
        switch (i % 4) {
        case 0:
            s += "&pointer=\"p" + std::to_string(i) + "\";Caption=\"Ponteiro\"";
            break;
        case 1:
            s += "&link={Sub.Item&pointer=\"q\";modo=[edit=sim]};_id=\"" + std::to_string(i) +
                 "\";Caption=\"Sub\",filtro=ativo;ordem=-1";
            break;
        case 2:
            s += "&param=[cliente=\"Jo\xE3o\"];dias=30;taxa=1.5,pointer=\"x\"";
            break;
        default:
            break;
        }
        s += "};_id=\"" + std::to_string(1000 + i) + "\";_tag=\"" + std::to_string(3 + i % 6) +
             "\";_keyw=\"vendas,clientes\";Caption=\"" + captions[c] + "\";ORDER=\"" + std::to_string(i % 50) + "\"";
        if (i % 3 == 0) s += ";DEFAULTEDIT=\"1\"";
        links.push_back(std::move(s));
    }
    return links;
}

size_t TotalBytes(const std::vector<std::string>& links) {
    size_t n = 0;
    for (const auto& l : links) n += l.size();
    return n;
}

void BM_Tokenize(benchmark::State& state) {
    const auto links = RealisticLinks(4096);
    TScanner scanner;
    ConfigureCommandListScanner(scanner);
    for (auto _ : state) {
        for (const auto& l : links) {
            scanner.SetText(l);
            benchmark::DoNotOptimize(scanner.TokenCount());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * TotalBytes(links)));
}
BENCHMARK(BM_Tokenize);

// Parse tokenizes: this is tokenize + parse, the figure the parser must reach.
void BM_TokenizeAndParse(benchmark::State& state) {
    const auto links = RealisticLinks(4096);
    TcmdListParser parser;
    for (auto _ : state) {
        for (const auto& l : links) {
            parser.Parse(l);
            benchmark::DoNotOptimize(parser.Count());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * TotalBytes(links)));
}
BENCHMARK(BM_TokenizeAndParse);

void BM_ParseAndItemText(benchmark::State& state) {
    const auto links = RealisticLinks(4096);
    TcmdListParser parser;
    for (auto _ : state) {
        for (const auto& l : links) {
            parser.Parse(l);
            for (int c = 0; c < parser.Count(); ++c) benchmark::DoNotOptimize(parser.Commands(c).ItemText());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * TotalBytes(links)));
}
BENCHMARK(BM_ParseAndItemText);

} // namespace

BENCHMARK_MAIN();
