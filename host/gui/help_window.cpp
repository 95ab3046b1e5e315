#include "help_window.hpp"

#include <QDialog>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

const char* const kHelpPage = R"(<html><body style="font-family: sans-serif">
<h2>Construção da Visão do DW</h2>
<p>Monte a visão escolhendo <b>fatos</b> (o que se mede) e <b>dimensões</b> (por onde se olha), e
construa-a: o cubo de decisão calcula as somas no banco de dados.</p>
<h3>As áreas</h3>
<ul>
<li><b>Fatos</b> (à esquerda): os fatos de cada área de negócio. Escolher um fato mostra as dimensões da área.</li>
<li><b>Dimensões</b>: só as dimensões comuns a todos os fatos da visão podem ser usadas; as outras ficam apagadas.</li>
<li><b>Páginas</b>, <b>Linhas</b> e <b>Colunas</b> recebem dimensões; a área <b>Fatos</b> (à direita) recebe fatos.</li>
</ul>
<h3>Gestos</h3>
<ul>
<li>Arraste um item para uma área: a área que aceita fica destacada e uma linha mostra onde ele entra.</li>
<li>Duplo clique ou Enter num fato o põe na visão; numa dimensão, em Linhas.</li>
<li>Arraste um item dentro da área para mudar a ordem; arraste um fato da visão de volta para a lista para tirá-lo.</li>
<li>Clique com o botão direito num item da visão para filtrar, agrupar, desagrupar ou excluir.</li>
</ul>
<h3>Teclado</h3>
<table border="1" cellspacing="0" cellpadding="3">
<tr><td>Tab / Shift+Tab</td><td>passa pelas listas e áreas na ordem de leitura</td></tr>
<tr><td>Enter</td><td>põe o fato ou a dimensão escolhida na visão</td></tr>
<tr><td>Ctrl+Shift+L / C / P</td><td>manda a dimensão escolhida para Linhas, Colunas ou Páginas (se já está na visão, move-a para lá)</td></tr>
<tr><td>Alt+↑ / Alt+↓</td><td>sobe ou desce o item na sua área</td></tr>
<tr><td>Shift+F10 ou tecla Menu</td><td>abre o menu do item</td></tr>
<tr><td>F9</td><td>filtra a dimensão escolhida</td></tr>
<tr><td>Del / Ctrl+Del</td><td>exclui o item / todos os itens da visão (pergunta antes)</td></tr>
<tr><td>Ctrl+Z / Ctrl+Y</td><td>desfaz / refaz a última mudança da visão</td></tr>
<tr><td>F5</td><td>lê de novo o catálogo</td></tr>
<tr><td>Ctrl+F2</td><td>constrói a visão</td></tr>
<tr><td>F1</td><td>esta ajuda</td></tr>
</table>
<h3>Teclado no cubo de decisão</h3>
<table border="1" cellspacing="0" cellpadding="3">
<tr><td>setas, Home, End, Page Up, Page Down</td><td>passam de célula em célula, também entre rótulos, células, totais e a linha de total</td></tr>
<tr><td>Shift+F10 ou tecla Menu</td><td>abre o menu da célula atual: num rótulo, o da sua dimensão; num valor, ordenar e as dimensões de coluna</td></tr>
<tr><td>− / +</td><td>recolhe / expande o grupo da linha (numa linha de detalhe, − recolhe o grupo a que ela pertence)</td></tr>
<tr><td>← / →</td><td>no rótulo de um grupo, recolhe / expande o grupo</td></tr>
<tr><td>Espaço</td><td>numa linha de grupo, recolhe ou expande o grupo</td></tr>
<tr><td>Ctrl+Shift+O</td><td>ordena pela coluna atual, como um clique no cabeçalho</td></tr>
<tr><td>Ctrl+Shift+L / C / P</td><td>manda a dimensão atual para Linhas, Colunas ou Páginas (na lista de uma página, a dimensão dela)</td></tr>
</table>
<h3>Filtros</h3>
<p>F9 (ou Filtrar no menu do item) abre a lista dos membros da dimensão, já sob as suas regras de
acesso. Digite para procurar (maiúsculas e acentos não importam), marque com a barra de espaço,
use "Inverter seleção" e confirme. Sem nenhum membro marcado, a dimensão fica sem filtro. Uma
dimensão filtrada mostra o ícone de filtro; pare o mouse sobre ele para ver os membros.</p>
<h3>Agrupar</h3>
<p>No menu de um item, "Agrupar" o põe sob outra dimensão da mesma área; "Desagrupar" o solta.</p>
<h3>Construir e o cubo</h3>
<p>"Construir Visão de DW" (Ctrl+F2) precisa de ao menos um fato e uma dimensão, e de no máximo 31
itens. O cubo de decisão abre com a grade: arraste os cabeçalhos entre linhas, colunas e páginas,
clique num cabeçalho de valor para ordenar, use as caixas +/− para recolher grupos, Ctrl+C para copiar,
"Gráfico" para ver barras ou linhas, "Exportar…" para CSV ou Excel, "Salvar visão…" para guardá-la e
"Editar visão" para voltar a esta tela com ela.</p>
</body></html>)";

}  // namespace

QDialog* ShowHelp(QWidget* parent) {
    auto* help = parent->findChild<QDialog*>("janelaAjuda");
    if (!help) {
        help = new QDialog(parent);
        help->setObjectName("janelaAjuda");
        help->setWindowTitle("Ajuda - Construção da Visão do DW");
        help->resize(560, 620);
        auto* layout = new QVBoxLayout(help);
        auto* page = new QTextBrowser(help);
        page->setObjectName("paginaAjuda");
        page->setHtml(QString::fromUtf8(kHelpPage));
        layout->addWidget(page);
    }
    help->show();
    help->raise();
    help->activateWindow();
    return help;
}
