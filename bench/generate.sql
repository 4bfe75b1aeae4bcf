-- Benchmark data for a company database that already holds the schema
-- (data/sql/company.sql): a busy year of invoices from mostly foreign partners.
--
--   psql -v n=1000000 -d bench_company -f bench/generate.sql
--
-- n invoice lines over n/5 documents, 5,000 articles, 2,000 partners, dated
-- 2024-01-01 .. 2024-12-31. Nothing is random: every value is a function of
-- the row number, so two loads give the same rows and the same report.
-- Mixed in on purpose, so the report's filters have something to drop:
--   2% of the documents are not invoices (NIR, AvizCL, FactCL),
--   1% of the articles are not stockable, 10% have no packaging row,
--   30% of the partners are Romanian (2.5% of the documents use them),
--   5% of the partners have no country, some documents name a partner that
--   is not in the partner table or none at all.
-- With n = 1,000,000 the one-year report returns about 950,000 lines.

\set ON_ERROR_STOP on
\if :{?n}
\else
  \set n 1000000
\endif

set synchronous_commit = off;

truncate doc_poz, doc, articol_ambalaje, articol, partener, emitent, aplicatie_mob, aplicatie_mob_emitent, eu;

-- Articles: product, brand and pack size make names such as
-- "Ulei floarea soarelui Bunica 1 L 00042".
insert into articol (articol, um, um_coresp, greutate_neta, greutate_bruta, da_nu_stocabil)
select format('%s %s %s %s',
              (array['Ulei floarea soarelui', 'Zahar tos', 'Faina alba 000', 'Malai extra', 'Orez bob lung',
                     'Paste fainoase', 'Lapte UHT 1,5%', 'Iaurt natural', 'Branza telemea', 'Cascaval Dalia',
                     'Unt 82%', 'Smantana 20%', 'Cafea macinata', 'Ceai de tei', 'Apa minerala',
                     'Suc de mere', 'Bere blonda', 'Vin rosu sec', 'Ciocolata amaruie', 'Biscuiti cu unt',
                     'Napolitane cu alune', 'Conserva fasole', 'Pasta de tomate', 'Mustar dulce', 'Maioneza',
                     'Detergent rufe', 'Sapun lichid', 'Hartie igienica', 'Servetele umede', 'Sampon cu urzica',
                     'Pasta de dinti', 'Otet de mere', 'Sare iodata', 'Piper negru', 'Boia dulce',
                     'Miere de salcam', 'Gem de caise', 'Compot de visine', 'Muraturi asortate', 'Zacusca de vinete'])[1 + i % 40],
              (array['Bunica', 'Carpatica', 'Dobrogea', 'Napolact', 'Zuzu', 'Olympus', 'Borsec', 'Dorna',
                     'Timisoreana', 'Murfatlar', 'Poiana', 'Rom', 'Boromir', 'Vel Pitar', 'Raureni',
                     'Bucegi', 'Argesana', 'Transilvania', 'Moldova', 'Banat', 'Oltenia', 'Muntenia',
                     'Maramures', 'Bucovina', 'Delta'])[1 + (i / 40) % 25],
              (array['250 g', '500 g', '1 kg', '2 kg', '5 kg', '330 ml', '500 ml', '1 L', '2 L', '6 x 1,5 L'])[1 + (i * 7) % 10],
              lpad(i::text, 5, '0')),
       (array['BUC', 'KG', 'L', 'BAX', 'PACH'])[1 + (i * 3) % 5],
       case when i % 3 = 0 then 'KG' end,
       round((1 + (i * 37) % 5000) / 1000.0, 4),
       round((1 + (i * 37) % 5000) / 1000.0 * 1.08, 4),
       i % 100 <> 0
from generate_series(1, 5000) as i;

-- Packaging per unit for nine articles in ten; each kind of packaging is
-- present for some of the articles only, as in real catalogues.
insert into articol_ambalaje (articol, kg_ambalaj_primar_total_hartie, kg_ambalaj_primar_total_plastic_pet,
                              kg_ambalaj_primar_total_plastic_altele, kg_ambalaj_primar_total_sticla,
                              kg_ambalaj_primar_total_metal, kg_ambalaj_primar_total_aluminiu,
                              kg_ambalaj_primar_total_lemn, kg_ambalaj_secundar_total_hartie,
                              kg_ambalaj_secundar_total_sticla, kg_ambalaj_secundar_reutilizabil_lemn)
select a.articol,
       case when k % 2 = 0 then round((1 + (k * 131) % 900) / 10000.0, 4) end,
       case when k % 3 = 0 then round((1 + (k * 173) % 700) / 10000.0, 4) end,
       case when k % 4 = 1 then round((1 + (k * 191) % 500) / 10000.0, 4) end,
       case when k % 5 = 2 then round((1 + (k * 211) % 4000) / 10000.0, 4) end,
       case when k % 6 = 3 then round((1 + (k * 223) % 600) / 10000.0, 4) end,
       case when k % 7 = 4 then round((1 + (k * 227) % 300) / 10000.0, 4) end,
       case when k % 8 = 5 then round((1 + (k * 229) % 2000) / 10000.0, 4) end,
       round((1 + (k * 233) % 1500) / 10000.0, 4),
       case when k % 9 = 6 then round((1 + (k * 239) % 3000) / 10000.0, 4) end,
       case when k % 11 = 7 then round((1 + (k * 241) % 8000) / 10000.0, 4) end
from (select articol, row_number() over (order by articol) as k from articol) as a
where a.k % 10 <> 3;

-- Partners: 30% Romanian (SRL/SA), the rest foreign or without a country.
insert into partener (partener, cod_cci, adr_cod_iso_tara)
select case when p % 10 < 3
            then format('SC %s %s SRL %s', (array['Agro', 'Comert', 'Distributie', 'Prod', 'Trans', 'Alimentara', 'Import', 'Euro'])[1 + p % 8],
                        (array['Nord', 'Sud', 'Vest', 'Est', 'Centru', 'Plus', 'Grup', 'Total', 'Prim', 'Star'])[1 + (p / 8) % 10], p)
            else format('%s %s %s %s', (array['Muller', 'Schmidt', 'Nagy', 'Kovacs', 'Rossi', 'Bianchi', 'Nowak', 'Ivanov', 'Dubois', 'Janssen', 'Horvat', 'Novak'])[1 + p % 12],
                        (array['Foods', 'Handel', 'Trade', 'Import', 'Export', 'Distribution', 'Logistik', 'Commerce'])[1 + (p / 12) % 8],
                        (array['GmbH', 'Kft', 'S.r.l.', 'Sp. z o.o.', 'EOOD', 'B.V.', 'SAS', 'd.o.o.', 's.r.o.', 'AG'])[1 + (p / 96) % 10], p)
       end,
       case when p % 7 = 0 then null
            when p % 10 < 3 then 'RO' || (10000000 + (p * 7919) % 89999999)::text
            else (array['DE', 'HU', 'IT', 'PL', 'BG', 'FR', 'NL', 'AT', 'HR', 'SK', 'CZ', 'GR'])[1 + p % 12] || (100000000 + (p * 104729) % 899999999)::text
       end,
       case when p % 10 < 3 then 'RO'
            when p % 20 = 3 then null
            when p % 20 = 13 then ''
            else (array['DE', 'HU', 'IT', 'PL', 'BG', 'FR', 'NL', 'AT', 'HR', 'SK', 'CZ', 'GR'])[1 + p % 12]
       end
from generate_series(1, 2000) as p;

-- Documents, in date order over the year. Invoices from abroad dominate;
-- one document in forty comes from a Romanian partner.
insert into doc (data_doc, tip_doc, nr_doc, partener)
select date '2024-01-01' + (d * 366 / greatest(1, :n / 5)),
       case when d % 50 = 7 then (array['NIR', 'AvizCL', 'FactCL'])[1 + (d / 50) % 3]
            when d % 2 = 0 then 'FactFI'
            else 'FactFE'
       end,
       lpad(d::text, 8, '0'),
       case when d % 1999 = 0 then null
            when d % 997 = 0 then 'Partener sters ' || d
            when d % 40 = 0 then ro.partener
            else f.partener
       end
from generate_series(0, greatest(1, :n / 5) - 1) as d
-- foreign or country-less partners (1,400) and Romanian ones (600), numbered
join (select partener, row_number() over (order by partener) - 1 as k from partener where partener not like 'SC %') as f
  on f.k = (d * 7) % 1400
join (select partener, row_number() over (order by partener) - 1 as k from partener where partener like 'SC %') as ro
  on ro.k = (d / 40) % 600
order by d;

-- Invoice lines: five per document on average, articles spread over the catalogue.
insert into doc_poz (data_doc, tip_doc, nr_doc, articol, um, cant)
select doc.data_doc, doc.tip_doc, doc.nr_doc, a.articol, a.um,
       case when l % 997 = 0 then null else round((1 + (l::bigint * 7919) % 250000) / 1000.0, 3) end
from generate_series(0, :n - 1) as l
join doc on doc.nr_doc = lpad((l / 5)::text, 8, '0')
join (select articol, um, row_number() over (order by articol) - 1 as k from articol) as a
  on a.k = (l::bigint * 2654435761) % 5000
order by l;

-- The sign-in reads these: one operator, the application and its grant, the company.
insert into emitent (emitent, operator_parola, eu_punct_lucru, este_operator)
values ('operator', encode(sha256('bench'::bytea), 'hex'), 'PL Bucuresti', true);
insert into aplicatie_mob (aplicatie_mob, activ) values ('wpelvaro', true);
insert into aplicatie_mob_emitent (aplicatie_mob, emitent, rol) values ('wpelvaro', 'operator', 'operator');
insert into eu (jas_ip, tara, metoda_stoc, cod_cci, tip_contabilitate, localit, adresa, eu)
values ('rapoarte.example.ro:8443', 'RO', 'FIFO', 'RO12345678', 'partida dubla', 'Bucuresti', 'Str. Exemplu 1', 'Bench Company SRL');

analyze;
